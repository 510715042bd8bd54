#include "frmfilter.h"

#include "settings/job.h"
#include "settings/store/store.h"
#include "sortstrings.h"
#include "util/ui/dialogs.h"
#include "util/ui/forms.h"
#include "util/ui/messagebox.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

namespace {

const std::array<QString, 2> kHistoryNames { QStringLiteral("ExtIncludeList"), QStringLiteral("ExtExcludeList") };
const QLatin1Char kSpace(' ');
const QLatin1Char kLineFeed('\n');

// Removes leading and trailing half-width spaces only: a full-width space, or
// a TAB, is part of the text here.
QString trimSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == kSpace)
        ++begin;
    while (end > begin && text[end - 1] == kSpace)
        --end;
    return text.mid(begin, end - begin);
}

// Adds TEXT at the top of COMBO's list without touching its edit text.
// QComboBox makes the first item of an empty list current, which puts that
// item into an editable combo's text; the text is the user's, so it is put
// back without any change being signalled.
void insertAtTop(QComboBox* combo, const QString& text)
{
    const QString shown = combo->currentText();
    const QSignalBlocker blockCombo(combo);
    const QSignalBlocker blockEdit(combo->lineEdit());
    combo->insertItem(0, text);
    if (combo->currentText() != shown) {
        combo->setCurrentIndex(-1);
        combo->setEditText(shown);
    }
}

template <typename Control> Control* indexed(Control* control, const char* name, int index)
{
    control->setObjectName(QLatin1String(name));
    control->setProperty("index", index);
    return control;
}

QLabel* guidance(const char* name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

frmFilter::frmFilter(SettingsStore& store, QWidget* parent)
    : QDialog(parent)
    , store_(store)
{
    setObjectName(QStringLiteral("frmFilter"));
    setWindowTitle(QStringLiteral("拡張子フィルタ"));
    setModal(true);

    const std::array<QString, 2> kindCaptions {
        QStringLiteral("以下の拡張子のファイルのみコピー対象にする。"),
        QStringLiteral("以下の拡張子のファイルをコピー対象から除外する。"),
    };
    // The lists sit under their option, indented as far as the option's text.
    const int indent = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth)
        + style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);

    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < 2; ++i) {
        optKind[i] = indexed(new QRadioButton(kindCaptions[i], this), "optKind", i);
        cmbExt[i] = indexed(new QComboBox(this), "cmbExt", i);
        cmbExt[i]->setEditable(true);
        // Enter confirms the dialog; the history only grows by a confirmation.
        cmbExt[i]->setInsertPolicy(QComboBox::NoInsert);
        cmbExt[i]->setMinimumContentsLength(32);
        cmbExt[i]->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        btnClearHistory[i] = indexed(new QPushButton(QStringLiteral("履歴削除"), this), "btnClearHistory", i);
        btnClearHistory[i]->setAutoDefault(false);
        connect(btnClearHistory[i], &QPushButton::clicked, this, [this, i] { btnClearHistory_Click(i); });

        auto* row = new QHBoxLayout;
        row->addSpacing(indent);
        row->addWidget(cmbExt[i], 1);
        row->addWidget(btnClearHistory[i]);
        layout->addWidget(optKind[i]);
        layout->addLayout(row);
        if (i == 0)
            layout->addSpacing(6);
    }
    optKind[0]->setChecked(true);

    layout->addSpacing(12);
    Label1 = guidance("Label1", QStringLiteral("・複数の拡張子を指定するには、半角のｽﾍﾟｰｽで区切って下さい。"), this);
    Label2 = guidance("Label2", QStringLiteral("例）"), this);
    Label3 = guidance("Label3", QStringLiteral("doc xls ppt \"\""), this);
    Label4 = guidance(
        "Label4", QStringLiteral("・拡張子無しを指定するには、\"\" （ \" を連続して２つ）入力して下さい。"), this);
    auto* example = new QHBoxLayout;
    example->addSpacing(indent);
    example->addWidget(Label2);
    example->addWidget(Label3);
    example->addStretch(1);
    layout->addWidget(Label1);
    layout->addLayout(example);
    layout->addWidget(Label4);
    layout->addStretch(1);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setToolTip(QStringLiteral("フィルタの設定を決定します。"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setToolTip(QStringLiteral("フィルタの設定を中止します。"));
    btnCancel->setAutoDefault(false);
    connect(btnOK, &QPushButton::clicked, this, &frmFilter::btnOK_Click);
    connect(btnCancel, &QPushButton::clicked, this, &frmFilter::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    // Never smaller than what shows every text in full.
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    lbRet = new QLabel(this);
    lbRet->setObjectName(QStringLiteral("lbRet"));
    lbRet->hide();

    lbRet->clear();
    LoadExtHistory(kHistoryNames[0], 0);
    LoadExtHistory(kHistoryNames[1], 1);
    resize(sizeHint());
}

void frmFilter::DispFilter(int nKind, const QString& strFilter)
{
    const int index = static_cast<FilterKind>(nKind) == FilterKind::Exclude ? 1 : 0;
    optKind[index]->setChecked(true);
    cmbExt[index]->setEditText(strFilter);
}

void frmFilter::GetFilter(int& nKind, QString& strFilter) const
{
    const int index = optKind[0]->isChecked() ? 0 : 1;
    nKind = index + 1;
    strFilter = trimSpaces(cmbExt[index]->currentText());
}

QString frmFilter::result() const
{
    return lbRet->text();
}

void frmFilter::reject()
{
    lbRet->clear();
    QDialog::reject();
}

void frmFilter::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    for (QComboBox* combo : cmbExt)
        FitComboDropDown(this, combo);
}

void frmFilter::btnOK_Click()
{
    nFlushInputMessages(this);

    // Only the chosen kind's list must hold something; the blank check trims
    // half-width spaces only, so a list of full-width spaces passes it.
    QComboBox* chosen = cmbExt[optKind[0]->isChecked() ? 0 : 1];
    if (trimSpaces(chosen->currentText()).isEmpty()) {
        nMessageBox(QStringLiteral("空白以外の文字列を入力して下さい。"), MB_OK, windowTitle());
        bSetFocus(chosen);
        return;
    }

    // Both lists are normalised and both histories stored, whichever kind
    // was chosen.
    SaveExtHistory(kHistoryNames[0], 0);
    SaveExtHistory(kHistoryNames[1], 1);
    lbRet->setText(QStringLiteral("OK"));
    accept();
}

void frmFilter::btnClearHistory_Click(int nIndex)
{
    const QString strName = nIndex == 0 ? QStringLiteral("コピー採用拡張子") : QStringLiteral("コピー除外拡張子");
    const QString question = strName + QStringLiteral("の履歴を削除してよいですか？") + QStringLiteral("\r\n")
        + QStringLiteral("（この履歴はレジストリに保存されており、設定ファイル（.vstl）の読込でも復元されません。）");
    if (nMessageBox(question, MB_YESNO, windowTitle()) != IDYES)
        return;

    cmbExt[nIndex]->clear();
    cmbExt[nIndex]->clearEditText();
    // At once, not on OK: cancelling the dialog does not bring the history back.
    if (!store_.open())
        return;
    store_.remove(kHistoryNames[nIndex]);
    store_.close();
}

// Every stored line longer than one character goes to the top of the list as
// it is read, so the list shows the lines in the reverse of their stored
// order. An empty line (a confirmation with the other kind's list empty) and
// a one-letter list are dropped here, although they were stored.
void frmFilter::LoadExtHistory(const QString& strName, int nIndex)
{
    if (!store_.open())
        return;
    if (const std::optional<QString> value = store_.read(strName)) {
        for (const QString& line : value->split(kLineFeed)) {
            // Characters, not UTF-16 units: one character beyond the BMP is still one.
            if (line.toUcs4().size() > 1)
                insertAtTop(cmbExt[nIndex], line);
        }
    }
    store_.close();
}

// Normalises the list's text (sorted, single spaces, no leading dots), puts
// it back into the combo box, adds it at the top of the history unless the
// history holds it already (letter case aside), and stores the history.
//
// The pieces are sorted before their dots are removed, so ".XLS" sorts among
// the punctuation, ahead of "doc". A lone "." becomes an empty extension only
// after sorting: it still counts as a piece, and the text then begins with a
// space (GetFilter trims it).
void frmFilter::SaveExtHistory(const QString& strName, int nIndex)
{
    QComboBox* combo = cmbExt[nIndex];
    QString text = trimSpaces(combo->currentText());
    text.replace(QChar(0x3000), kSpace);

    // Every single space splits, so a run of spaces gives empty pieces; they
    // sort first and are skipped.
    QStringList pieces = text.split(kSpace);
    SortStrings(0, static_cast<int>(pieces.size()) - 1, pieces);
    QString strNormal;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        QString piece = pieces[i];
        if (trimSpaces(piece).isEmpty())
            continue;
        if (piece.startsWith(QLatin1Char('.')))
            piece.remove(0, 1);
        strNormal += piece;
        if (i < pieces.size() - 1)
            strNormal += kSpace;
    }
    combo->setEditText(strNormal);

    bool known = false;
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items.append(combo->itemText(i));
        known = known || QString::compare(items.back(), strNormal, Qt::CaseInsensitive) == 0;
    }
    if (!known) {
        insertAtTop(combo, strNormal);
        items.prepend(strNormal);
    }

    if (!store_.open())
        return;
    store_.write(strName, items.join(kLineFeed));
    store_.close();
}

bool runFilterDialog(QWidget* parent, SettingsStore& store, int& nExtFilterKind, QString& strExtFilter)
{
    auto* dialog = new frmFilter(store, parent);
    dialog->DispFilter(nExtFilterKind, strExtFilter);
    execDialog(*dialog);
    const bool confirmed = !dialog->result().isEmpty();
    if (confirmed)
        dialog->GetFilter(nExtFilterKind, strExtFilter);
    if (!bUnloadForm(dialog))
        delete dialog;
    return confirmed;
}
