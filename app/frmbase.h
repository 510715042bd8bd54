// frmBase: the main window. It owns the copy engine and the run state, shows
// the engine's progress and asks the user about copy errors, keeps the
// histories, and lays its controls out as the window is resized.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include "appearance/layout.h"
#include "engine/diffcopy.h"
#include "engine/sourcecount.h"
#include "run/estimate.h"
#include "run/runrelay.h"
#include "settings/job.h"
#include "settings/store/histories.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CopiedListView;
class frmEst;
class FlightDeck;
class ProgressMeter;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollArea;
class QTimer;
class SettingsStore;
class TextLabel;
class TextWidth;

class frmBase : public QMainWindow, public DiffCopyListener {
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
    void setLongRun(std::chrono::seconds duration) { longRun_ = duration; }
    // Test seam: how many files the engine copies at once (after load; see DiffCopy::setParallelCopies).
    void setParallelCopies(int n);

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
        const std::string& strSrc, const std::string& strDst, const std::string& strErr, ErrorReply& nOp) override;

    bool bApplyCopySetLine(const std::vector<std::string>& fields);
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
    // Brings the window, frame and all, within the screen's free area.
    void fitIntoScreen();
    void connectSelection();
    // Counts the source's files in the background for lbCountNum, a moment
    // after the source or the subfolder option last changed.
    void countSourceSoon();
    void countSource();
    void connectOptions();
    void cmbSrc_Click();
    void showSaveResult(bool saved);
    // The status line during a run: the progress line, when there is one yet,
    // before what the run is doing.
    void showRunStatus(const QString& doing);
    void paintRunStatus();
    // Takes the run's progress (at every tick of the elapsed seconds) into
    // the status line, the title and the estimate window.
    void showProgress();
    // Schedules a repaint of the displays that follow the run's counters.
    void refreshRunDisplay();
    // The parts a copy run and an estimate share: taking the run (nothing
    // when one is in progress or the job is refused), handing the filter to
    // the engine and running it, and putting the window back afterwards
    // (false when a quit asked for meanwhile has closed it).
    std::optional<RunOrder> beginRun();
    std::int32_t runEngine(const RunOrder& order);
    bool endRun();
    // Tells the user that a run ended with SUMMARY: the box, after the
    // desktop has been told when the run was long and the window not active,
    // and then a line on the status line that stays.
    void tellRunEnded(const QString& summary);
    void tellDesktopIfUnseen(const QString& summary);
    // Adds one file the estimate would copy to its sums and to the estimate window.
    void estimateFile(const MeasuredFile& file);
    // What the estimate counts of a file it would copy; on the run's thread.
    std::optional<MeasuredFile> measureFile(const std::string& pSrc, const std::string& pDst) const;

    // Run state.
    std::unique_ptr<RunRelay> relay_; // the engine's listener: runs it off the window's thread
    std::unique_ptr<DiffCopy> cpMan;
    QString strSetFile;
    bool bSkipAll = false;
    bool bEstimating = false;
    bool bClosePending = false;
    bool bAnimating = false;
    std::int32_t nCheckCount = 0;
    std::int32_t nCopyCount = 0;
    DateTime dtStart;
    std::int32_t nMaxTextWidth = 0; // twips
    std::int32_t nClusterBytes = -1;
    double dbCopySum = 0;
    double dbExistSum = 0;
    double dbNeedSum = 0;

    std::unique_ptr<Histories> histories;
    // The icons that fly over the automatic background.
    std::unique_ptr<FlightDeck> flightDeck;
    // The estimate window, while it is open.
    QPointer<frmEst> estimateWindow;

    // The background: kind (-1 automatic, 0 none, 1..9 built-in gradient,
    // anything else own picture), own picture, label colour (0x00BBGGRR).
    std::int32_t nGradation = -1;
    QString strBGPicture;
    std::int32_t nLabelColor = 0;
    // When the automatic background was last applied, and its time slot.
    DateTime dtBGApplied;
    std::int32_t nTimeSlot = 0;

    // The extension filter chosen in the filter dialog: kind 0 none chosen
    // yet, 1 include only, 2 exclude; the list in its normalised form.
    std::int32_t nExtFilterKind = 0;
    QString strExtFilter;

    // Controls; each carries its name as objectName().
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
    QLabel* imgBG = nullptr;
    std::array<QLabel*, 20> imgFly {};
    QTimer* Timer1 = nullptr;
    QTimer* tmBG = nullptr;
    QTimer* tmFly = nullptr;

    QMenu* mnuFile = nullptr;
    QAction* mnuFileOpen = nullptr;
    QAction* mnuFileSave = nullptr;
    QAction* mnuFileSaveAs = nullptr;
    std::array<QAction*, 3> mnuFileMRU {};
    QAction* mnuFileSeparator2 = nullptr;
    QAction* mnuFileEnd = nullptr;
    QMenu* mnuExe = nullptr;
    QAction* mnuExeStart = nullptr;
    QAction* mnuExeEst = nullptr;
    QAction* mnuExeStop = nullptr;
    QAction* mnuExeClearHistory = nullptr;
    QMenu* mnuOpt = nullptr;
    QAction* mnuOptSubDir = nullptr;
    QAction* mnuOptIgn = nullptr;
    QAction* mnuOptMakeDir = nullptr;
    QAction* mnuOptFilter = nullptr;
    QAction* mnuOptBG = nullptr;
    QMenu* mnuSoft = nullptr;
    QAction* mnuSoftAbout = nullptr;
    QMenu* mnuList = nullptr;
    QAction* mnuListSelAll = nullptr;
    QAction* mnuListSelClear = nullptr;
    QAction* mnuListCopy = nullptr;

    SettingsStore& store_;
    MainLayout layout_;
    QScrollArea* clientScroller_ = nullptr; // holds the client area
    bool fitted_ = false; // the window has been brought within the screen once
    bool running_ = false; // a run is in progress: Start and Estimate do nothing
    std::unique_ptr<EstimateSums> estimateSums_; // the sums of the estimate in progress
    bool dstKeepsHoles_ = true; // the estimate's destination keeps the holes of sparse files
    std::string checkedFile_; // the file checked last, as lbCheckFile shows it
    std::unique_ptr<TextWidth> lineWidth_; // measures the lines of lstCopied
    std::unique_ptr<SourceCount> sourceCount_; // the count under way, if any
    // The source's size as the last complete count found it, for the job it counted.
    struct CountedSource {
        std::string folder;
        bool subfolders = false;
        SourceSize size;
    };
    std::optional<CountedSource> counted_;
    std::unique_ptr<ProgressMeter> meter_; // the run's progress line, while it runs
    QString runDoing_; // what the run is doing, as the status line tells it
    QString progressLine_; // the run's last progress line
    std::chrono::seconds longRun_ { 10 };
    std::chrono::steady_clock::time_point runStarted_ {};
    QTimer* countDelay_ = nullptr; // lets typing settle before a count starts
    std::uint64_t countRound_ = 0; // tells the current count's result from a dropped one's
    QTimer* refresher_ = nullptr; // repaints the run's counters and list a few times a second
    QString waiting_; // what a run that has not got on for a while waits for
};
