#include "frmbg.h"

#include "background.h"
#include "picturefile.h"
#include "settings/job.h"
#include "util/convert.h"
#include "util/paths.h"
#include "util/qt/pathtext.h"
#include "util/qvubind.h"
#include "util/ui/commondialog.h"
#include "util/ui/dialogs.h"
#include "util/ui/forms.h"
#include "util/ui/messagebox.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

constexpr std::int32_t kOwnPicture = 100;

// The kind options, in the order the dialog shows them (optKInd's indexes);
// nothing chosen yet is -1.
enum KindOption : int { kOptAutomatic = 0, kOptNone = 1, kOptGradient = 2, kOptPicture = 3 };
constexpr std::int64_t kLargestColorValue = 0xFFFFFFFF;

const std::array<const char*, kBackgroundSlots> kSlotCaptions {
    "04-06時",
    "06-08時",
    "08-10時",
    "10-12時",
    "12-14時",
    "14-16時",
    "16-18時",
    "18-20時",
    "20-04時",
};

// The picture types offered, in this order; the blank in each description is
// a full-width space.
const QString kPictureFilter = QStringLiteral("JPEGファイル　(*.jpg;*.jpeg)|*.jpg;*.jpeg|"
                                              "Bitmapファイル　(*.bmp;*.dib)|*.bmp;*.dib|"
                                              "メタファイル　(*.wmf;*.emf)|*.wmf;*.emf|"
                                              "アイコン　(*.ico;*.cur)|*.ico;*.cur|"
                                              "GIFファイル　(*.gif)|*.gif|"
                                              "全てのファイル　(*.*)|*.*|");

const QString kNoSwatch = QStringLiteral("表示する背景をクリックして選択して下さい。");
const QString kNoPicture = QStringLiteral("表示する画像を指定して下さい。");
const QString kBadPicture = QStringLiteral("指定画像は扱えません。");
const QString kBadColor = QStringLiteral("ラベルの色には 0 から FFFFFF までの16進数を入力して下さい。");

template <typename Control> Control* named(Control* control, const char* name)
{
    control->setObjectName(QLatin1String(name));
    return control;
}

template <typename Control> Control* indexed(Control* control, const char* name, int index)
{
    control->setProperty("index", index);
    return named(control, name);
}

// Removes leading and trailing half-width spaces only.
QString trimSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

// The colour value of a hexadecimal text such as "B4FFFF" (spaces around it
// allowed, letter case ignored); 0 for an empty text. Eight digits make the
// whole 32-bit value, so a system colour (80000012) or -1 (FFFFFFFF) comes
// back as it was shown. Nothing when the text is not a hexadecimal number or
// is beyond FFFFFFFF.
std::optional<std::int32_t> colorOfHexText(const QString& text)
{
    const QString digits = trimSpaces(text);
    std::int64_t value = 0;
    for (const QChar digit : digits) {
        const char16_t c = digit.unicode();
        int nibble = 0;
        if (c >= u'0' && c <= u'9')
            nibble = c - u'0';
        else if (c >= u'a' && c <= u'f')
            nibble = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            nibble = c - u'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + nibble;
        if (value > kLargestColorValue)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// A colour component typed as decimal text: a whole number from 0 to 255,
// rounded like dbToLong; a text that is not a number counts as 0, a negative
// number as 0 and one above 255 as 255.
int componentOfText(const QString& text)
{
    const double value = dbToDouble(text.toStdString());
    return static_cast<int>(std::nearbyint(std::clamp(value, 0.0, 255.0)));
}

QString hexText(std::int32_t color)
{
    return QString::number(static_cast<std::uint32_t>(color), 16).toUpper();
}

// The filter pair preselected for PATH: the one for its extension, the JPEG
// pair when the extension is not one of the offered types (never "all files").
std::int16_t filterIndexFor(const QString& path)
{
    const QString extension = QString::fromStdString(ExtensionOf(toPath(path))).toLower();
    if (extension == QLatin1String("bmp") || extension == QLatin1String("dib"))
        return 2;
    if (extension == QLatin1String("wmf") || extension == QLatin1String("emf"))
        return 3;
    if (extension == QLatin1String("ico") || extension == QLatin1String("cur"))
        return 4;
    if (extension == QLatin1String("gif"))
        return 5;
    return 1;
}

// Disables WINDOW while a chooser of its own is up, so that it can be neither
// confirmed nor cancelled meanwhile.
class DisabledWhile {
public:
    explicit DisabledWhile(QWidget* window)
        : window_(window)
    {
        window_->setEnabled(false);
    }
    ~DisabledWhile() { window_->setEnabled(true); }
    DisabledWhile(const DisabledWhile&) = delete;
    DisabledWhile& operator=(const DisabledWhile&) = delete;

private:
    QWidget* window_;
};

} // namespace

frmBG::frmBG(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmBG"));
    setWindowTitle(QStringLiteral("背景選択"));
    setModal(true);

    const std::array<QString, 4> kindCaptions {
        QStringLiteral("時刻による自動背景"),
        QStringLiteral("背景なし"),
        QStringLiteral("以下の背景から選択"),
        QStringLiteral("オリジナル画像を指定"),
    };
    for (int i = 0; i < 4; ++i) {
        optKInd[i] = indexed(new QRadioButton(kindCaptions[i], this), "optKInd", i);
        connect(optKInd[i], &QRadioButton::toggled, this, [this](bool checked) {
            if (checked)
                optKInd_Click();
        });
    }

    // Each swatch is a frame in the selection colour with the gradient and
    // its caption inside; a click anywhere on it chooses it.
    auto* swatches = new QHBoxLayout;
    for (int i = 0; i < kBackgroundSlots; ++i) {
        picBox[i] = indexed(new QFrame(this), "picBox", i);
        picBox[i]->setAutoFillBackground(true);
        picBox[i]->installEventFilter(this);
        imgBK[i] = indexed(new QLabel(picBox[i]), "imgBK", i);
        imgBK[i]->setPixmap(QPixmap::fromImage(builtInBackground(i)));
        imgBK[i]->setScaledContents(true);
        imgBK[i]->setFixedSize(40, 64);
        imgBK[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
        lbPic[i] = indexed(new QLabel(QString::fromUtf8(kSlotCaptions[i]), picBox[i]), "lbPic", i);
        lbPic[i]->setAlignment(Qt::AlignCenter);
        lbPic[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
        auto* inside = new QVBoxLayout(picBox[i]);
        inside->setContentsMargins(3, 3, 3, 3);
        inside->setSpacing(2);
        inside->addWidget(imgBK[i], 0, Qt::AlignHCenter);
        inside->addWidget(lbPic[i]);
        setSwatchColor(i, false);
        swatches->addWidget(picBox[i]);
    }
    swatches->addStretch(1);

    editPath = named(new QLineEdit(this), "editPath");
    editPath->setMinimumWidth(360);
    btnPath = named(new QPushButton(QStringLiteral("参照..."), this), "btnPath");
    btnPath->setAutoDefault(false);
    connect(btnPath, &QPushButton::clicked, this, &frmBG::btnPath_Click);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(editPath, 1);
    pathRow->addWidget(btnPath);

    Label1 = named(new QLabel(QStringLiteral("ラベルの色"), this), "Label1");
    editRGB = named(new QLineEdit(this), "editRGB");
    editRGB->setMaximumWidth(editRGB->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 8);
    editRGB->installEventFilter(this);
    auto* colorRow = new QHBoxLayout;
    colorRow->addWidget(Label1);
    colorRow->addWidget(editRGB);
    const std::array<QString, 3> componentCaptions { QStringLiteral("R"), QStringLiteral("G"), QStringLiteral("B") };
    for (int i = 0; i < 3; ++i) {
        lbRGB[i] = indexed(new QLabel(componentCaptions[i], this), "lbRGB", i);
        editLabel[i] = indexed(new QLineEdit(this), "editLabel", i);
        editLabel[i]->setMaximumWidth(editLabel[i]->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 6);
        editLabel[i]->installEventFilter(this);
        connect(editLabel[i], &QLineEdit::textChanged, this, &frmBG::editLabel_Change);
        colorRow->addSpacing(8);
        colorRow->addWidget(lbRGB[i]);
        colorRow->addWidget(editLabel[i]);
    }
    btnColor = named(new QPushButton(QStringLiteral("設定..."), this), "btnColor");
    btnColor->setAutoDefault(false);
    connect(btnColor, &QPushButton::clicked, this, &frmBG::btnColor_Click);
    colorRow->addSpacing(8);
    colorRow->addWidget(btnColor);
    colorRow->addStretch(1);

    btnOK = named(new QPushButton(QStringLiteral("OK"), this), "btnOK");
    btnOK->setToolTip(QStringLiteral("設定を有効にして終了します。"));
    btnOK->setDefault(true);
    btnCancel = named(new QPushButton(QStringLiteral("Cancel"), this), "btnCancel");
    btnCancel->setToolTip(QStringLiteral("設定を中止します。"));
    btnCancel->setAutoDefault(false);
    connect(btnOK, &QPushButton::clicked, this, &frmBG::btnOK_Click);
    connect(btnCancel, &QPushButton::clicked, this, &frmBG::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    // The swatches and the path sit under their option, indented as far as
    // the option's text.
    const int indent = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth)
        + style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
    auto indented = [indent](QLayout* inner) {
        auto* row = new QHBoxLayout;
        row->addSpacing(indent);
        row->addLayout(inner, 1);
        return row;
    };
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(optKInd[0]);
    layout->addWidget(optKInd[1]);
    layout->addWidget(optKInd[2]);
    layout->addLayout(indented(swatches));
    layout->addWidget(optKInd[3]);
    layout->addLayout(indented(pathRow));
    layout->addSpacing(12);
    layout->addLayout(colorRow);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    imgCheck = named(new QLabel(this), "imgCheck");
    imgCheck->hide();
    lbRet = named(new QLabel(this), "lbRet");
    lbRet->hide();

    lbRet->clear();
    // No kind chosen yet: everything below the options is disabled.
    optKInd_Click();
    resize(sizeHint());
}

void frmBG::DispBGSetting(std::int32_t nKind, const QString& strPath, std::int32_t nColor)
{
    if (nKind == kGradationAutomatic) {
        optKInd[kOptAutomatic]->setChecked(true);
    } else if (nKind == kGradationNone) {
        optKInd[kOptNone]->setChecked(true);
    } else if (nKind >= 1 && nKind <= kBackgroundSlots) {
        optKInd[kOptGradient]->setChecked(true);
        picBox_Click(nKind - 1);
    } else {
        optKInd[kOptPicture]->setChecked(true);
    }
    editPath->setText(strPath);
    ShowLabelColor(nColor);
}

std::int32_t frmBG::GetBGSetting(QString& strPath, std::int32_t& nColor) const
{
    strPath = trimSpaces(editPath->text());
    nColor = colorOfHexText(editRGB->text()).value_or(nShownColor_);
    switch (nSelectedKind()) {
    case kOptAutomatic:
        return kGradationAutomatic;
    case kOptNone:
        return kGradationNone;
    case kOptGradient:
        return nSelectedBG;
    default:
        return kOwnPicture;
    }
}

void frmBG::ShowLabelColor(std::int32_t nColor)
{
    nShownColor_ = nColor;
    std::array<std::int32_t, 3> components {};
    if (!qvu::SplitColor(nColor, components[0], components[1], components[2]))
        components = { nColor & 0xFF, (nColor >> 8) & 0xFF, (nColor >> 16) & 0xFF };
    for (int i = 0; i < 3; ++i) {
        const QSignalBlocker quiet(editLabel[i]);
        editLabel[i]->setText(QString::number(components[i]));
    }
    editRGB->setText(hexText(nShownColor_));
}

QString frmBG::result() const
{
    return lbRet->text();
}

bool frmBG::bCanLoadPicture(const QString& strPath)
{
    QString why;
    const QImage picture = readPictureFile(strPath, why);
    if (picture.isNull())
        return false;
    imgCheck->setPixmap(QPixmap::fromImage(picture));
    imgCheck->clear();
    return true;
}

void frmBG::reject()
{
    lbRet->clear();
    QDialog::reject();
}

bool frmBG::eventFilter(QObject* watched, QEvent* event)
{
    const auto swatch = std::find(picBox.begin(), picBox.end(), watched);
    if (swatch != picBox.end()) {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && (*swatch)->isEnabled()
                && (*swatch)->rect().contains(mouse->position().toPoint()))
                picBox_Click(static_cast<int>(swatch - picBox.begin()));
        }
        return false;
    }

    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit)
        return false;
    if (event->type() == QEvent::FocusIn) {
        SelectAllText(edit);
        // A click places the cursor after the focus has arrived; select
        // once more when it is done.
        if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason)
            QTimer::singleShot(0, edit, [edit] { SelectAllText(edit); });
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        // Enter walks from the hexadecimal box through the components and
        // never confirms the dialog from these boxes.
        if (edit == editRGB)
            bSetFocus(editLabel[0]);
        else if (edit == editLabel[0])
            bSetFocus(editLabel[1]);
        else if (edit == editLabel[1])
            bSetFocus(editLabel[2]);
        return true;
    }
    return false;
}

int frmBG::nSelectedKind() const
{
    for (int i = 0; i < static_cast<int>(optKInd.size()); ++i) {
        if (optKInd[i]->isChecked())
            return i;
    }
    return -1;
}

void frmBG::optKInd_Click()
{
    const int kind = nSelectedKind();
    for (int i = 0; i < kBackgroundSlots; ++i) {
        picBox[i]->setEnabled(kind == kOptGradient);
        if (kind != kOptGradient)
            setSwatchColor(i, false);
        else if (i + 1 == nSelectedBG)
            setSwatchColor(i, true);
    }
    editPath->setEnabled(kind == kOptPicture);
    btnPath->setEnabled(kind == kOptPicture);
    const bool colored = kind == kOptGradient || kind == kOptPicture;
    editRGB->setEnabled(colored);
    for (QLineEdit* edit : editLabel)
        edit->setEnabled(colored);
    btnColor->setEnabled(colored);
}

void frmBG::picBox_Click(int nIndex)
{
    if (nSelectedBG == nIndex + 1)
        return;
    if (nSelectedBG >= 1 && nSelectedBG <= kBackgroundSlots)
        setSwatchColor(nSelectedBG - 1, false);
    setSwatchColor(nIndex, true);
    nSelectedBG = nIndex + 1;
}

void frmBG::editLabel_Change()
{
    const std::int32_t red = componentOfText(editLabel[0]->text());
    const std::int32_t green = componentOfText(editLabel[1]->text());
    const std::int32_t blue = componentOfText(editLabel[2]->text());
    editRGB->setText(hexText(red | (green << 8) | (blue << 16)));
}

void frmBG::btnPath_Click()
{
    const CurrentFolderKeeper folder;
    CommonDialog dialog;
    dialog.setFileName(editPath->text());
    dialog.setFilter(kPictureFilter);
    dialog.setFilterIndex(filterIndexFor(editPath->text()));
    dialog.setFlags(OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER | OFN_ENABLESIZING);
    bool chosen = false;
    {
        const DisabledWhile disabled(this);
        chosen = dialog.ShowOpen();
    }
    if (chosen)
        editPath->setText(dialog.FileName());
}

void frmBG::btnColor_Click()
{
    const std::optional<std::int32_t> color = colorForUse();
    if (!color)
        return;
    CommonDialog dialog;
    dialog.setColor(*color);
    // Start from the given colour, with the custom colours shown.
    dialog.setFlags(3);
    bool chosen = false;
    {
        const DisabledWhile disabled(this);
        chosen = dialog.ShowColor();
    }
    if (chosen)
        ShowLabelColor(dialog.Color());
}

void frmBG::btnOK_Click()
{
    nFlushInputMessages(this);

    const int kind = nSelectedKind();
    if (kind == kOptGradient && nSelectedBG <= 0) {
        nMessageBox(kNoSwatch, MB_OK, windowTitle());
        return;
    }
    if (kind == kOptPicture) {
        // A path of nothing but spaces is no path either.
        const QString path = trimSpaces(editPath->text());
        if (path.isEmpty()) {
            nMessageBox(kNoPicture, MB_OK, windowTitle());
            bSetFocus(editPath);
            return;
        }
        if (!bCanLoadPicture(path)) {
            nMessageBox(kBadPicture, MB_OK, windowTitle());
            bSetFocus(editPath);
            return;
        }
    }
    // Only the kinds that use the label colour insist on a readable one; the
    // others keep the colour the dialog was given.
    if ((kind == kOptGradient || kind == kOptPicture) && !colorForUse())
        return;

    lbRet->setText(QStringLiteral("OK"));
    accept();
}

std::optional<std::int32_t> frmBG::colorForUse()
{
    const std::optional<std::int32_t> color = colorOfHexText(editRGB->text());
    if (!color) {
        nMessageBox(kBadColor, MB_OK, windowTitle());
        if (bSetFocus(editRGB))
            SelectAllText(editRGB);
    }
    return color;
}

void frmBG::setSwatchColor(int nIndex, bool selected)
{
    QPalette colors = picBox[nIndex]->palette();
    colors.setColor(
        QPalette::Window, palette().color(QPalette::Active, selected ? QPalette::Highlight : QPalette::Button));
    picBox[nIndex]->setPalette(colors);
}

bool runBackgroundDialog(QWidget* parent, std::int32_t& nGradation, QString& strBGPicture, std::int32_t& nLabelColor)
{
    auto* dialog = new frmBG(parent);
    dialog->DispBGSetting(nGradation, strBGPicture, nLabelColor);
    execDialog(*dialog);
    const bool confirmed = dialog->result() == QLatin1String("OK");
    if (confirmed)
        nGradation = dialog->GetBGSetting(strBGPicture, nLabelColor);
    if (!bUnloadForm(dialog))
        delete dialog;
    return confirmed;
}
