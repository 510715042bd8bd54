// frmEst: the capacity estimate window. While the main window runs the engine
// in simulation mode, it shows the destination volume's total and free space,
// the sums of the estimate as they grow, and bars that set them against the
// volume's capacity. Its one button stops the estimate, and closes the window
// once the estimate is over.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

class QCloseEvent;
class QKeyEvent;
class QColor;
class QLabel;
class QPushButton;
class QScrollArea;
class TextLabel;

// A bar of one solid colour whose place and size are kept in twips. Its width
// may be a single twip, less than a pixel; such a bar still shows as one pixel.
class EstimateBar : public QWidget {
    Q_OBJECT
public:
    EstimateBar(QWidget* parent, const char* name, const QColor& colour, int left, int top, int width, int height);

    int twipsLeft() const { return left_; }
    int twipsTop() const { return top_; }
    int twipsWidth() const { return width_; }
    int twipsHeight() const { return height_; }
    void setTwipsWidth(int width);
    void moveTwips(int left, int top);
    // What the bar stands for: BYTES of a volume of WHOLE bytes. The drawn
    // width may differ (a bar is never narrower than a twip, nor drawn past
    // the window); assistive tools read these figures.
    void setReading(double bytes, double whole);
    // BYTES in hundredths of WHOLE; 0 where the volume's size is unknown.
    double percent() const { return percent_; }
    // The reading as the window's figures show it: "1,024 バイト（0.01 %）".
    const QString& reading() const { return reading_; }

private:
    void place();

    int left_;
    int top_;
    int width_;
    int height_;
    double percent_ = 0;
    QString reading_;
};

class frmEst : public QWidget {
    Q_OBJECT
public:
    // The window's caption, also the title of its question.
    static const QString kCaption;

    // STOPESTIMATE is what the stop button calls to stop the run (the main
    // window's StopEstimate). The window deletes itself once it is closed.
    explicit frmEst(std::function<void()> stopEstimate = {}, QWidget* parent = nullptr);
    void setStopEstimate(std::function<void()> stopEstimate);
    // HOLD(true) before the window asks whether to stop, HOLD(false) once answered.
    void setHoldWhileAsking(std::function<void(bool)> hold) { holdWhileAsking_ = std::move(hold); }

    // The start of an estimate: the destination and its volume's free and total
    // bytes. A window kept open from an earlier estimate starts over as a new
    // one would: sums back to 0, bars back to their first widths, no shortfall.
    void SetFreeTotal(const QString& strPath, double dbFree, double dbTotal);
    // The volume's cluster size; less than 1 when it is unknown and the sums
    // are of unrounded file sizes.
    void SetClusterBytes(std::int32_t nBytes);

    // The sums as they grow, in bytes. The bars follow only when the volume's
    // total is known (not 0). UpdateNeed ends by letting pending window events
    // be handled once (at most every 20 ms), so that the window, and its stop
    // button, stay live while the engine works; the window may be gone when it
    // returns.
    void UpdateToCopy(double dbCopy);
    void UpdateExist(double dbExist);
    void UpdateNeed(double dbNeed);
    // The most room the copy takes at any moment of the run.
    void updatePeak(double peak);
    // How much of the source the estimate has checked so far, in the title.
    void showChecked(std::int64_t files, std::int64_t bytes);

    // 1: the estimate has ended; the button becomes "閉じる" and the window
    // comes to the front. Other values do nothing.
    void SetState(std::int32_t n);

    // The width of the window's sheet, where the bars are cut, in twips.
    int windowWidthTwips() const;

    bool bFinished = false; // the estimate has ended or was stopped; btnEnd closes the window
    double dbFree = 0; // free bytes of the destination volume
    double dbTotal = 0; // total bytes of the destination volume

    // Controls; each carries its name as objectName().
    TextLabel* lbPath = nullptr;
    TextLabel* lbTotal = nullptr;
    TextLabel* lbFree = nullptr;
    QLabel* lbFreeDesc = nullptr;
    TextLabel* lbCopy = nullptr;
    TextLabel* lbExist = nullptr;
    TextLabel* lbNeed = nullptr;
    TextLabel* lbOver = nullptr;
    QLabel* lbOverDesc = nullptr;
    TextLabel* lbPeak = nullptr;
    TextLabel* lbCluster = nullptr;
    QLabel* lbClusterBytes = nullptr;
    QLabel* lbNotice = nullptr;
    EstimateBar* picTotal = nullptr;
    EstimateBar* picFree = nullptr;
    EstimateBar* picCopy = nullptr;
    EstimateBar* picExist = nullptr;
    EstimateBar* picNeed = nullptr;
    EstimateBar* picOver = nullptr;
    QPushButton* btnEnd = nullptr;

public slots:
    void btnEnd_Click();

protected:
    void showEvent(QShowEvent* event) override;
    // The title bar's close button while the estimate runs asks as btnEnd does:
    // this window is the only place the estimate can be stopped from. Escape
    // does what the close button does.
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createControls();
    // Values, bars and visibilities as a new window shows them.
    void ResetDisplay();
    // The width in twips of a bar for VALUE bytes, held within int.
    int barWidth(double value) const;
    // WIDTH, cut where it would run past the window's right edge from BAR's left.
    int clippedWidth(const EstimateBar* bar, int width) const;
    // Asks whether to stop; on Yes stops the run and marks the estimate finished.
    bool askToStop();

    QScrollArea* scroller_ = nullptr; // holds the sheet the controls stand on
    QWidget* sheet_ = nullptr;
    bool fitted_ = false; // the window has been brought within the screen once
    std::function<void()> stopEstimate_;
    std::function<void(bool)> holdWhileAsking_;
    QElapsedTimer sinceEvents_; // since UpdateNeed last let events be handled
};
