// Choosing the source and destination, and the four option switches. Each
// option has three faces kept in step: its check box, the label beside it
// (a click toggles the box) and a ticked item of the Options menu.
#include "appearance/flights.h"
#include "backgroundview.h"
#include "frmbase.h"
#include "mainmenu.h"
#include "run/sourcecounter.h"
#include "settings/store/histories.h"
#include "settings/ui/frmfilter.h"
#include "textlabel.h"
#include "util/convert.h"
#include "util/qt/pathtext.h"
#include "util/ui/browse.h"
#include "util/ui/forms.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

namespace {

bool isEnter(QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

void frmBase::connectSelection()
{
    // The source's files are counted in the background for lbCountNum, a
    // moment after the source or the subfolder option last changed. A run
    // walks the source itself; a count beside it would only slow it.
    sourceCounter_ = std::make_unique<SourceCounter>(
        *this,
        [this]() -> std::optional<SourceCounter::Job> {
            const QString source = cmbSrc->currentText().trimmed();
            if (runActive() || running_ || source.isEmpty())
                return std::nullopt;
            return SourceCounter::Job { toPath(source), chkSubDir->isChecked() };
        },
        [this](std::int64_t files) { lbCountNum->setText(QString::number(files)); });
    const auto countAnew = [this] {
        lbCountNum->setText(QStringLiteral("0"));
        sourceCounter_->countSoon();
    };
    connect(cmbSrc, &QComboBox::editTextChanged, this, countAnew);
    connect(chkSubDir, &QCheckBox::toggled, this, countAnew);
    connect(cmbSrc, &QComboBox::activated, this, [this] { cmbSrc_Click(); });
    connect(cmbDst, &QComboBox::editTextChanged, this, [this] {
        lbCheckNum->setText(QStringLiteral("0"));
        lbCopyNum->setText(QStringLiteral("0"));
        lbCheckFile->clear();
    });
    for (QComboBox* combo : { cmbSrc, cmbDst }) {
        combo->installEventFilter(this);
        combo->lineEdit()->installEventFilter(this);
    }

    connect(btnSrc, &QPushButton::clicked, this, [this] {
        nFlushInputMessages(this);
        cmbSrc->setEditText(
            BrowseForFolder(this, QStringLiteral("コピー元フォルダを指定してください"), cmbSrc->currentText()));
        cmbSrc_Click();
    });
    connect(btnDst, &QPushButton::clicked, this, [this] {
        nFlushInputMessages(this);
        cmbDst->setEditText(
            BrowseForFolder(this, QStringLiteral("コピー先フォルダを指定してください"), cmbDst->currentText()));
    });
    connect(btnSrcClear, &QPushButton::clicked, this, [this] {
        nFlushInputMessages(this);
        cmbSrc->setEditText(QString());
    });
    connect(btnDstClear, &QPushButton::clicked, this, [this] {
        nFlushInputMessages(this);
        cmbDst->setEditText(QString());
    });
    connect(btnFilter, &QPushButton::clicked, this, &frmBase::btnFilter_Click);
}

// Picking a source from its history proposes the destination that the last
// run with that source used, when no destination is given yet. The count
// follows the text, which has changed already when it is another folder: the
// box also counts as picked a text of its list that loses the focus (to
// Start, say), and the count made of it stands.
void frmBase::cmbSrc_Click()
{
    if (!cmbDst->currentText().isEmpty())
        return;
    const int source = histories->nFindSrcHistory(cmbSrc->currentText());
    if (source < 0)
        return;
    const int destination = histories->nFindDstHistoryByTime(histories->srcHistory()[source].dtUsed);
    if (destination >= 0)
        cmbDst->setEditText(QString::fromStdString(histories->dstHistory()[destination].strFolder));
}

void frmBase::connectOptions()
{
    const std::array<std::pair<QCheckBox*, QAction*>, 4> faces { { { chkSubDir, menu_->mnuOptSubDir },
        { chkIgn, menu_->mnuOptIgn }, { chkMakeDir, menu_->mnuOptMakeDir }, { chkFilter, menu_->mnuOptFilter } } };
    for (const auto& [box, item] : faces) {
        connect(box, &QCheckBox::toggled, item, &QAction::setChecked);
        // A checkable item has already flipped its tick when it reports the
        // click, so the new tick is the box's new value.
        connect(item, &QAction::triggered, box, &QCheckBox::setChecked);
    }
    for (QLabel* caption : { lbSubDir, lbIgn, lbMakeDir, lbExtFilter })
        caption->installEventFilter(this);
}

void frmBase::btnFilter_Click()
{
    nFlushInputMessages(this);
    int nKind = static_cast<int>(nExtFilterKind);
    if (!runFilterDialog(this, store_, nKind, strExtFilter))
        return;
    nExtFilterKind = static_cast<FilterKind>(nKind);
    lbFilterKind->setText(nExtFilterKind == FilterKind::Include ? QStringLiteral("採用") : QStringLiteral("除外"));
    lbFilter->setText(strExtFilter);
}

bool frmBase::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in the source moves on to the destination, Enter there to the
    // Start button (without starting).
    if (isEnter(event)) {
        if (watched == cmbSrc || watched == cmbSrc->lineEdit()) {
            bSetFocus(cmbDst);
            return true;
        }
        if (watched == cmbDst || watched == cmbDst->lineEdit()) {
            bSetFocus(btnStart);
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton
        && watched->objectName() == QLatin1String("imgFly")) {
        background_->flightDeck->imgFly_Click(watched->property("index").toInt());
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        const std::array<std::pair<QLabel*, QCheckBox*>, 4> captions { { { lbSubDir, chkSubDir }, { lbIgn, chkIgn },
            { lbMakeDir, chkMakeDir }, { lbExtFilter, chkFilter } } };
        for (const auto& [caption, box] : captions) {
            if (watched == caption && box->isEnabled()) {
                box->setChecked(nToggleCheck(box->isChecked() ? 1 : 0) == 1);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
