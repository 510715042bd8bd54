// frmBase: the main window. It shows the job in its controls and runs it
// through a copy session (run/session.h), shows the run (RunView, the
// estimate's EstimateView) and asks the user about copy errors, keeps the
// histories, and lays its controls out as the window is resized.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include "appearance/layout.h"
#include "run/runface.h"
#include "settings/job.h"

#include <QMainWindow>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class BackgroundView;
class CopiedListView;
class CopySession;
class EstimateRun;
class EstimateView;
class Histories;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTimer;
class RunView;
class SettingsStore;
class SourceCounter;
class TextLabel;
struct MainMenu;
struct RunEnd;

class frmBase : public QMainWindow, public RunFace {
    Q_OBJECT
public:
    // The window's caption, also the title of its questions.
    static const QString kCaption;

    explicit frmBase(SettingsStore& store, QWidget* parent = nullptr);
    ~frmBase() override;

    // The start-up sequence: the engine and its listener, the recent-file
    // list, the histories, the display set-up and the background. ARGUMENTS
    // (those after the program's name, without Qt's own options) may name
    // the copy set a file manager opens us with (one argument naming a
    // file), which is then loaded; or they are a batch run's whose copy set
    // could not be read, which the File menu then saves to.
    void load(const QStringList& arguments = {});

    // Loads the copy set in STRPATH as the File menu's Open does: the File
    // menu then saves to it, and it becomes the most recent file.
    void openCopySet(const QString& strPath);

    // The job as the controls show it.
    CopyJob job() const;

    // Copy-set files.
    bool bSaveCopySet(const QString& strPath);
    bool bLoadCopySet(const QString& strPath);

    // Every message box of the main window goes through here. Buttons and
    // replies use the message-box values (0, 4, 16, 64; 1, 6, 7).
    int nShowMessage(const QString& strMessage, int nButtons = 0, const QString& strTitle = QString());

    // Test seam: runs on the copying thread as each copy starts, once the
    // events the run raised before the copy are on their way to the window.
    std::function<void()> beforeThreadedCopy;
    // Test seam: runs on the run's thread after each file the run reports.
    std::function<void()> afterFileReported;
    // Test seam: how long a run must last for its end to be told to the
    // desktop when the window is not active (10 s).
    void setLongRun(std::chrono::seconds duration);
    // Test seam: how many files the engine copies at once (after load; see DiffCopy::setParallelCopies).
    void setParallelCopies(int n);
    // Test seam: a copy or an estimate has started and not yet ended. A run
    // goes on while the window's event loop runs.
    bool runInProgress() const { return running_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void btnStart_Click();
    void btnEst_Click();
    // Stops the estimate in progress (the estimate window's stop button).
    void StopEstimate();
    void btnStop_Click();
    void btnFilter_Click();
    void Timer1_Timer();
    void btnEnd_Click();
    void mnuFileOpen_Click();
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuFileMRU_Click(int index);
    void mnuOptBG_Click();
    // The automatic background's tick: a new background when the hour has
    // changed, then perhaps a new flight.
    void tmBG_Timer();
    void tmFly_Timer();
    void mnuListSelAll_Click();
    void mnuListSelClear_Click();
    void mnuListCopy_Click();

private:
    // Engine events.
    void FileChecked(const std::string& pSrc, const std::string& pDst, const DateTime& dtFile, bool bCopied) override;
    void FolderSearching(const std::string& pPath) override;
    void FolderSearched(const std::string& pPath) override;
    void FolderAlreadyCopied(const std::string& pSrc, const std::string& firstDst) override;
    void ErrorDetected(
        const std::string& strSrc, const std::string& strDst, const std::string& strErr, Answer answer) override;

    bool bApplyCopySetLine(const std::vector<std::string>& fields);
    // Tells the user that the copy set STRPATH could not be read.
    void tellUnreadable(const QString& strPath);
    // Puts the background setting (nGradation, strBGPicture, nLabelColor)
    // into effect.
    void ApplyBackground();
    // Sets the text colour (0x00BBGGRR) of the labels named "lb...", all but
    // the status line.
    void SetLabelColor(std::int32_t nColor);

    // The window's outer size and its client area's height, in twips, as the
    // resize arithmetic sees them.
    int windowWidthTwips() const;
    int windowHeightTwips() const;
    int clientHeightTwips() const;

    // Checks the job in the controls: what it asks of the engine, or nothing
    // when it cannot run (the user has been told why, and the focus is on
    // the control to mend) or the user declined.
    std::optional<RunOrder> bCheckJob();
    void ResetRunDisplay(bool bCopy);
    // True while a copy or an estimate is in progress.
    bool runActive() const;

    void createControls();
    void createMenus();
    void InitMainDisplay();
    void placeControls();
    void arrangeControls();
    // The size the window opens with: the designed client area below the
    // menu bar, as far as the screen has room for it.
    QSize openingSize() const;
    void connectSelection();
    void connectOptions();
    void cmbSrc_Click();
    void showSaveResult(bool saved);
    // The parts a copy run and an estimate share: taking the run (nothing
    // when one is in progress or the job is refused), starting it through
    // the session, ENDED hearing of its end, and putting the window back
    // afterwards (false when a quit asked for meanwhile has closed it).
    std::optional<RunOrder> beginRun();
    void runSession(const RunOrder& order, EstimateRun* estimate, std::function<void(const RunEnd& end)> ended);
    bool endRun();
    // Tells the user that a run ended with SUMMARY: the box, after the
    // desktop has been told when the run was long and the window not active,
    // and then a line on the status line that stays.
    void tellRunEnded(const QString& summary);
    void tellDesktopIfUnseen(const QString& summary);

    // Run state.
    std::unique_ptr<CopySession> session_; // the engine and its runs
    std::unique_ptr<RunView> runView_;
    std::unique_ptr<EstimateView> estimateView_;
    std::unique_ptr<SourceCounter> sourceCounter_; // the source's files for lbCountNum
    std::unique_ptr<Histories> histories;
    QString strSetFile;
    bool bClosePending = false;
    bool running_ = false; // a run is in progress: Start and Estimate do nothing

    // The extension filter chosen in the filter dialog, and its list in its
    // normalised form.
    FilterKind nExtFilterKind = FilterKind::None;
    QString strExtFilter;
    // How long the files replaced are kept, as the copy set gave it; whether
    // they are kept at all is mnuOptKeep's tick.
    KeepReplaced keepReplaced_;

    // Controls; each carries its name as objectName(). The picture and the
    // flying icons behind them are the background's; the menus are menu_'s.
    std::unique_ptr<BackgroundView> background_;
    std::unique_ptr<MainMenu> menu_;
    QLabel* lbSrcDesc = nullptr;
    QComboBox* cmbSrc = nullptr;
    QPushButton* btnSrc = nullptr;
    QPushButton* btnSrcClear = nullptr;
    QLabel* lbCountDesc = nullptr;
    TextLabel* lbCountNum = nullptr;
    QLabel* lbDstDesc = nullptr;
    QComboBox* cmbDst = nullptr;
    QPushButton* btnDst = nullptr;
    QPushButton* btnDstClear = nullptr;
    QLabel* lbCheckDesc = nullptr;
    TextLabel* lbCheckNum = nullptr;
    TextLabel* lbCheckFile = nullptr;
    QLabel* lbCopyDesc = nullptr;
    TextLabel* lbCopyNum = nullptr;
    CopiedListView* lstCopied = nullptr;
    QLabel* lbOption = nullptr;
    QCheckBox* chkSubDir = nullptr;
    QLabel* lbSubDir = nullptr;
    QCheckBox* chkIgn = nullptr;
    QLineEdit* editIgn = nullptr;
    QLabel* lbIgn = nullptr;
    QCheckBox* chkMakeDir = nullptr;
    QLabel* lbMakeDir = nullptr;
    QLabel* lbMakeDirNote = nullptr;
    QCheckBox* chkFilter = nullptr;
    QLabel* lbExtFilter = nullptr;
    QPushButton* btnFilter = nullptr;
    QLabel* lbFilterKind = nullptr;
    QLabel* lbFilter = nullptr;
    QLabel* lbSecDesc = nullptr;
    TextLabel* lbSec = nullptr;
    QPushButton* btnStart = nullptr;
    QPushButton* btnEst = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnEnd = nullptr;
    TextLabel* lbMsg = nullptr;
    QTimer* Timer1 = nullptr;

    SettingsStore& store_;
    MainLayout layout_;
    QScrollArea* clientScroller_ = nullptr; // holds the client area
    bool fitted_ = false; // the window has been brought within the screen once
};
