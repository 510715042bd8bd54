// The main window's controls and menus, at their designed places (twips).
#include "accessibility.h"
#include "backgroundview.h"
#include "copiedlist.h"
#include "frmabout.h"
#include "frmbase.h"
#include "mainmenu.h"
#include "settings/store/histories.h"
#include "textlabel.h"
#include "util/ui/twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace {

QLabel* label(QWidget* parent, const char* name, const QString& text, int left, int top, int width, int height)
{
    auto* widget = makeTwips<QLabel>(parent, name, left, top, width, height);
    widget->setText(text);
    // Where the font shown needs more room than the design gave a caption,
    // it reaches further right, into the space beside it.
    int needed = 0;
    for (const QString& line : text.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts))
        needed = std::max(needed, widget->fontMetrics().horizontalAdvance(line) + 1);
    if (needed > widget->width())
        widget->resize(needed, widget->height());
    return widget;
}

// A box whose text follows the run: sunken, its text set as it changes. It
// shows the background through, as the captions do, so that its text in the
// label colour reads on every background.
TextLabel* display(QWidget* parent, const char* name, const QString& text, int left, int top, int width, int height)
{
    auto* widget = makeTwips<TextLabel>(parent, name, left, top, width, height);
    widget->setText(text);
    widget->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return widget;
}

// A number display: the value on the right.
TextLabel* counter(QWidget* parent, const char* name, const QString& tip, int left, int top, int width, int height)
{
    TextLabel* widget = display(parent, name, QStringLiteral("0"), left, top, width, height);
    widget->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    widget->setToolTip(tip);
    return widget;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, const QString& tip, int left, int top,
    int width, int height)
{
    auto* widget = makeTwips<QPushButton>(parent, name, left, top, width, height);
    widget->setText(text);
    widget->setToolTip(tip);
    // Return and Enter press the button that has the focus, as Space does.
    widget->setAutoDefault(true);
    return widget;
}

QCheckBox* checkBox(QWidget* parent, const char* name, bool checked, const QString& tip, int left, int top)
{
    auto* widget = makeTwips<QCheckBox>(parent, name, left, top, 180, 225);
    widget->setChecked(checked);
    widget->setToolTip(tip);
    return widget;
}

QTimer* timer(QObject* parent, const char* name, int interval)
{
    auto* t = new QTimer(parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setInterval(interval);
    return t;
}

} // namespace

void frmBase::createControls()
{
    // The controls stand at their designed places on the client area. Where
    // the window is smaller than they need (a large font or a high scale on
    // a small screen), the area scrolls, so that each stays within reach.
    clientScroller_ = new QScrollArea(this);
    clientScroller_->setObjectName(QStringLiteral("clientScroller"));
    clientScroller_->setFrameShape(QFrame::NoFrame);
    clientScroller_->setFocusPolicy(Qt::NoFocus);
    clientScroller_->setWidgetResizable(true);
    auto* client = new QWidget;
    client->setObjectName(QStringLiteral("client"));
    clientScroller_->setWidget(client);
    setCentralWidget(clientScroller_);

    // The background comes first so that every other control stands on it.
    background_ = std::make_unique<BackgroundView>(*client, *this);

    lbSrcDesc = label(client, "lbSrcDesc", QStringLiteral("コピー元フォルダ"), 90, 360, 1485, 195);
    cmbSrc = makeTwips<QComboBox>(client, "cmbSrc", 1665, 300, 7845, 345);
    // The typed text is the job: no completion from the history may change it.
    cmbSrc->setEditable(true);
    cmbSrc->setInsertPolicy(QComboBox::NoInsert);
    cmbSrc->setCompleter(nullptr);
    cmbSrc->setToolTip(QStringLiteral("コピー元となるフォルダを指定して下さい。"));
    btnSrc = button(client, "btnSrc", QStringLiteral("参照..."),
        QStringLiteral("コピー元となるフォルダをダイアログで指定します。"), 9675, 225, 1020, 435);
    btnSrcClear = button(client, "btnSrcClear", QStringLiteral("クリア"),
        QStringLiteral("コピー元指定をクリアします。"), 10950, 255, 800, 435);
    lbCountDesc = label(client, "lbCountDesc", QStringLiteral("ファイル数"), 1695, 750, 900, 195);
    lbCountNum = counter(client, "lbCountNum",
        QStringLiteral("コピー実行中に、チェックされたコピー元のファイル数を表示します。"), 2685, 675, 1605, 330);

    lbDstDesc = label(client, "lbDstDesc", QStringLiteral("コピー先フォルダ"), 75, 1320, 1485, 195);
    cmbDst = makeTwips<QComboBox>(client, "cmbDst", 1665, 1230, 7815, 345);
    cmbDst->setEditable(true);
    cmbDst->setInsertPolicy(QComboBox::NoInsert);
    cmbDst->setCompleter(nullptr);
    cmbDst->setToolTip(QStringLiteral("コピー先のフォルダを指定して下さい。"));
    btnDst = button(client, "btnDst", QStringLiteral("参照..."),
        QStringLiteral("コピー先となるフォルダをダイアログで指定します。"), 9675, 1155, 1020, 435);
    btnDstClear = button(client, "btnDstClear", QStringLiteral("クリア"),
        QStringLiteral("コピー先指定をクリアします。"), 10935, 1155, 800, 435);

    lbCheckDesc = label(client, "lbCheckDesc", QStringLiteral("確認数"), 1680, 2055, 630, 195);
    lbCheckNum = counter(client, "lbCheckNum", QStringLiteral("コピー先でチェックされたファイルの数を表示します。"),
        2415, 1980, 1605, 330);
    lbCheckFile = display(client, "lbCheckFile", QString(), 4230, 1995, 7275, 330);
    lbCheckFile->setToolTip(QStringLiteral("コピーの際、確認中のファイル名が表示されます。"));
    lbCopyDesc = label(client, "lbCopyDesc", QStringLiteral("コピー数"), 1620, 2475, 750, 195);
    lbCopyNum = counter(
        client, "lbCopyNum", QStringLiteral("実際にｺﾋﾟｰされたファイルの数を表示します。"), 2430, 2400, 1605, 330);

    lstCopied = makeTwips<CopiedListView>(client, "lstCopied", 4230, 2505, 7440, 4350);
    lstCopied->setToolTip(QStringLiteral("コピーされたファイル名、又はコピー見積ファイル名が表示されます。"));

    lbOption = label(client, "lbOption", QStringLiteral("オプション"), 540, 2940, 885, 195);
    chkSubDir = checkBox(client, "chkSubDir", true,
        QStringLiteral("コピー元のフォルダのサブフォルダ（下層のフォルダ）も検索、コピーします。"), 405, 3360);
    lbSubDir = label(client, "lbSubDir", QStringLiteral("サブフォルダも検索する\r\n"), 660, 3375, 2385, 255);
    chkIgn = checkBox(client, "chkIgn", true,
        QStringLiteral("OSや記録メディアの違いによる誤差を無視する場合に使います。"), 390, 3885);
    chkIgn->setText(QStringLiteral("　　　　"));
    editIgn = makeTwips<QLineEdit>(client, "editIgn", 735, 3825, 510, 330);
    editIgn->setText(QStringLiteral("2"));
    lbIgn = label(client, "lbIgn", QStringLiteral("秒以下の誤差を無視\r\n"), 1305, 3870, 2115, 255);
    chkMakeDir = checkBox(client, "chkMakeDir", false,
        QStringLiteral("ｺﾋﾟｰ元がﾌｫﾙﾀﾞ指定の場合（ﾙｰﾄ以外）、コピー先に同じﾌｫﾙﾀﾞを作成してｺﾋﾟｰします。"), 390, 4470);
    lbMakeDir = label(client, "lbMakeDir", QStringLiteral("ｺﾋﾟｰ先にｺﾋﾟ-元のﾌｫﾙﾀﾞを作成\r\n"), 660, 4470, 3165, 210);
    lbMakeDirNote
        = label(client, "lbMakeDirNote", QStringLiteral("（ｺﾋﾟｰ元がﾙｰﾄでない場合のみ）"), 900, 4785, 2700, 180);
    chkFilter = checkBox(client, "chkFilter", false,
        QStringLiteral("特定の拡張子のみをコピーしたり、無視する場合に使います。"), 405, 5280);
    lbExtFilter = label(client, "lbExtFilter", QStringLiteral("拡張子ﾌｨﾙﾀを使用\r\n"), 660, 5325, 1935, 210);
    btnFilter = button(client, "btnFilter", QStringLiteral("設定..."),
        QStringLiteral("拡張子フィルタの設定を行います。"), 3000, 5295, 825, 345);
    lbFilterKind = label(client, "lbFilterKind", QString(), 300, 5670, 495, 300);
    lbFilter = label(client, "lbFilter", QString(), 840, 5670, 3030, 300);
    for (QLabel* caption : { lbSubDir, lbIgn, lbMakeDir, lbExtFilter })
        caption->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lbSecDesc = label(client, "lbSecDesc", QStringLiteral("経過秒数"), 1680, 6615, 840, 165);
    lbSec = counter(client, "lbSec", QStringLiteral("コピー開始からの経過秒数を表示します。"), 2565, 6555, 1410, 330);

    btnStart = button(client, "btnStart", QStringLiteral("コピー開始"),
        QStringLiteral("コピー元のフォルダから、コピー先へ、存在しない、又は更新されているファイルをコピーします。"),
        615, 7350, 1845, 585);
    btnEst = button(client, "btnEst", QString(), QString(), 3195, 7350, 1830, 585);
    btnStop = button(client, "btnStop", QStringLiteral("コピー中止"), QStringLiteral("ファイルのコピーを中止します。"),
        6705, 7380, 1845, 585);
    btnStop->setEnabled(false);
    btnEnd = button(
        client, "btnEnd", QStringLiteral("終了"), QStringLiteral("Vestrelleを終了します。"), 9750, 7335, 1845, 585);
    // The status line sits below the background and keeps its own colours.
    lbMsg = display(client, "lbMsg", QString(), 0, 8280, 11850, 315);
    lbMsg->setAutoFillBackground(true);

    // What assistive tools announce each control and display by: its caption.
    const std::pair<QLabel*, QWidget*> captioned[] = { { lbSrcDesc, cmbSrc }, { lbDstDesc, cmbDst },
        { lbCountDesc, lbCountNum }, { lbCheckDesc, lbCheckNum }, { lbCopyDesc, lbCopyNum }, { lbSubDir, chkSubDir },
        { lbIgn, chkIgn }, { lbMakeDir, chkMakeDir }, { lbExtFilter, chkFilter }, { lbSecDesc, lbSec } };
    for (const auto& [caption, control] : captioned)
        nameAfterCaption(caption, control);
    editIgn->setAccessibleName(QStringLiteral("無視する誤差の秒数"));
    // Buttons whose captions say the same for both folders, and one whose
    // caption is two lines, are named for what they do.
    const std::pair<QPushButton*, const char*> named[] = { { btnSrc, "コピー元フォルダの参照" },
        { btnDst, "コピー先フォルダの参照" }, { btnSrcClear, "コピー元フォルダのクリア" },
        { btnDstClear, "コピー先フォルダのクリア" }, { btnEst, "コピー先の必要容量見積" } };
    for (const auto& [button, name] : named)
        button->setAccessibleName(QString::fromUtf8(name));
    // Tab goes as the eye does: the folders, the options on the left, the
    // list to their right, then the buttons below.
    QWidget* const order[] = { cmbSrc, btnSrc, btnSrcClear, cmbDst, btnDst, btnDstClear, chkSubDir, chkIgn, editIgn,
        chkMakeDir, chkFilter, btnFilter, lstCopied, btnStart, btnEst, btnStop, btnEnd };
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    lbCheckFile->setAccessibleName(QStringLiteral("確認中のファイル"));
    lstCopied->setAccessibleName(QStringLiteral("コピーされたファイル"));
    lbMsg->setAccessibleName(QStringLiteral("状態"));

    Timer1 = timer(this, "Timer1", 1000);

    connect(btnStart, &QPushButton::clicked, this, &frmBase::btnStart_Click);
    connect(btnEst, &QPushButton::clicked, this, &frmBase::btnEst_Click);
    connect(btnStop, &QPushButton::clicked, this, &frmBase::btnStop_Click);
    connect(btnEnd, &QPushButton::clicked, this, &frmBase::btnEnd_Click);
    connect(Timer1, &QTimer::timeout, this, &frmBase::Timer1_Timer);
    connect(
        lstCopied, &CopiedListView::contextMenuWanted, this, [this](const QPoint& at) { menu_->mnuList->popup(at); });
}

void frmBase::createMenus()
{
    menu_ = std::make_unique<MainMenu>(*this, *lstCopied);
    connect(menu_->mnuFileOpen, &QAction::triggered, this, &frmBase::mnuFileOpen_Click);
    connect(menu_->mnuFileSave, &QAction::triggered, this, &frmBase::mnuFileSave_Click);
    connect(menu_->mnuFileSaveAs, &QAction::triggered, this, &frmBase::mnuFileSaveAs_Click);
    for (size_t i = 0; i < menu_->mnuFileMRU.size(); ++i)
        connect(menu_->mnuFileMRU[i], &QAction::triggered, this, [this, i] { mnuFileMRU_Click(static_cast<int>(i)); });
    connect(menu_->mnuFileEnd, &QAction::triggered, btnEnd, &QPushButton::click);
    connect(menu_->mnuOptBG, &QAction::triggered, this, &frmBase::mnuOptBG_Click);
    connect(menu_->mnuSoftAbout, &QAction::triggered, this, [this] { showAbout(this); });
    connect(background_->tmBG, &QTimer::timeout, this, &frmBase::tmBG_Timer);
    connect(background_->tmFly, &QTimer::timeout, this, &frmBase::tmFly_Timer);
    // A flying icon is caught by a click.
    for (QLabel* image : background_->imgFly)
        image->installEventFilter(this);
    connect(menu_->mnuExe, &QMenu::aboutToShow, this, [this] { menu_->mnuExeStop->setEnabled(btnStop->isEnabled()); });
    connect(menu_->mnuExeStart, &QAction::triggered, btnStart, &QPushButton::click);
    connect(menu_->mnuExeEst, &QAction::triggered, btnEst, &QPushButton::click);
    connect(menu_->mnuExeStop, &QAction::triggered, btnStop, &QPushButton::click);
    connect(menu_->mnuExeClearHistory, &QAction::triggered, this, [this] { histories->mnuExeClearHistory(); });
    connect(menu_->mnuListSelAll, &QAction::triggered, this, &frmBase::mnuListSelAll_Click);
    connect(menu_->mnuListSelClear, &QAction::triggered, this, &frmBase::mnuListSelClear_Click);
    connect(menu_->mnuListCopy, &QAction::triggered, this, &frmBase::mnuListCopy_Click);
}
