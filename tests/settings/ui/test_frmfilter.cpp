#include "settings/ui/frmfilter.h"
#include "tests/settings/store/settings_fixture.h"
#include "util/ui/dialogs.h"
#include "util/ui/messagebox.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <functional>
#include <vector>

namespace {

const QString kCaption = QStringLiteral("拡張子フィルタ");
const QString kInclude = QStringLiteral("ExtIncludeList");
const QString kExclude = QStringLiteral("ExtExcludeList");
const QString kBlank = QStringLiteral("空白以外の文字列を入力して下さい。");

struct Message {
    QString text;
    int flags;
    QString title;
};

QStringList items(const QComboBox* combo)
{
    QStringList list;
    for (int i = 0; i < combo->count(); ++i)
        list.append(combo->itemText(i));
    return list;
}

// Each test has a settings file of its own, answers every message box with
// REPLY while recording it, and sorts in a fixed locale.
class FilterDialogTest : public ::testing::Test {
protected:
    FilterDialogTest()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        setMessageBoxAnswerer([this](const QString& text, int flags, const QString& title) {
            messages.push_back({ text, flags, title });
            return reply;
        });
    }
    ~FilterDialogTest() override
    {
        setMessageBoxAnswerer(nullptr);
        setDialogAnswerer(nullptr);
        QLocale::setDefault(savedLocale);
    }

    void seed(const QString& name, const QString& value) { storeValue(folder.path(), name, value); }
    std::optional<QString> stored(const QString& name)
    {
        SettingsStore reader(folder.path());
        EXPECT_TRUE(reader.open());
        return reader.read(name);
    }
    // Opens the dialog as the main window does; the user's part is USER.
    bool run(int& kind, QString& list, const std::function<void(frmFilter&)>& user)
    {
        setDialogAnswerer([&user](QDialog& shown) { user(static_cast<frmFilter&>(shown)); });
        return runFilterDialog(nullptr, store, kind, list);
    }
    // Types LIST for KIND (1 include, 2 exclude) and confirms; the filter
    // that reaches the main window.
    std::pair<int, QString> confirm(int kind, const QString& list)
    {
        int nKind = 0;
        QString strList;
        EXPECT_TRUE(run(nKind, strList, [&](frmFilter& dialog) {
            dialog.optKind[kind - 1]->setChecked(true);
            dialog.cmbExt[kind - 1]->setEditText(list);
            dialog.btnOK->click();
        }));
        return { nKind, strList };
    }

    QLocale savedLocale;
    StoreFolder folder;
    SettingsStore store { folder.path() };
    std::vector<Message> messages;
    int reply = IDOK;
};

} // namespace

TEST_F(FilterDialogTest, ConfirmedListsAreNormalised)
{
    // The dotted piece sorts first, since the dot is removed after sorting;
    // the full-width space splits like a half-width one.
    EXPECT_EQ(confirm(2, QStringLiteral(" .XLS doc\u3000ppt ")), std::make_pair(2, QStringLiteral("XLS doc ppt")));
    EXPECT_EQ(stored(kExclude), QStringLiteral("XLS doc ppt"));
    // The dialog's own example: the two double quotes sort ahead of letters.
    EXPECT_EQ(confirm(1, QStringLiteral("doc xls ppt \"\"")), std::make_pair(1, QStringLiteral("\"\" doc ppt xls")));
    // Runs of spaces leave no empty entries, and only one leading dot goes.
    EXPECT_EQ(confirm(1, QStringLiteral("txt   ..cfg  .H")), std::make_pair(1, QStringLiteral(".cfg H txt")));
    // A lone dot is an empty piece once its dot is gone: the list begins with
    // a space, which the main window does not get.
    EXPECT_EQ(confirm(1, QStringLiteral("xls . doc")), std::make_pair(1, QStringLiteral("doc xls")));
    EXPECT_EQ(stored(kInclude)->section('\n', 0, 0), QStringLiteral(" doc xls"));
    // Full-width spaces pass the blank check and give an empty list.
    EXPECT_EQ(confirm(2, QStringLiteral("\u3000\u3000")), std::make_pair(2, QString()));
    EXPECT_EQ(stored(kExclude)->section('\n', 0, 0), QString());
    EXPECT_TRUE(messages.empty());
}

TEST_F(FilterDialogTest, BothHistoriesAreStoredWhicheverKindIsChosen)
{
    seed(kInclude, QStringLiteral("txt\nDOC XLS"));
    seed(kExclude, QStringLiteral("bak\ntmp"));
    confirm(1, QStringLiteral("doc"));
    // Shown (and stored) in the reverse of the stored order, the new list on top;
    // the empty exclude list becomes an empty entry on top of its history.
    EXPECT_EQ(stored(kInclude), QStringLiteral("doc\nDOC XLS\ntxt"));
    EXPECT_EQ(stored(kExclude), QStringLiteral("\ntmp\nbak"));

    // A list the history holds, letter case aside, is not added again. A
    // one-letter list is stored, but neither it nor the empty entry comes
    // back at the next opening.
    confirm(1, QStringLiteral("xls doc"));
    EXPECT_EQ(stored(kInclude), QStringLiteral("txt\nDOC XLS\ndoc"));
    confirm(2, QStringLiteral("c"));
    EXPECT_EQ(stored(kExclude), QStringLiteral("c\ntmp\nbak"));
    SettingsStore next(folder.reopened());
    frmFilter dialog(next);
    EXPECT_EQ(items(dialog.cmbExt[0]), QStringList({ "txt", "DOC XLS", "doc" }));
    EXPECT_EQ(items(dialog.cmbExt[1]), QStringList({ "bak", "tmp" }));
    // Loading a history does not fill in the texts.
    EXPECT_EQ(dialog.cmbExt[0]->currentText() + dialog.cmbExt[1]->currentText(), QString());
}

TEST_F(FilterDialogTest, ABlankListForTheChosenKindIsRefused)
{
    frmFilter dialog(store);
    dialog.DispFilter(0, QString());
    dialog.show();
    dialog.cmbExt[1]->setEditText(QStringLiteral("doc"));
    dialog.cmbExt[0]->setEditText(QStringLiteral("   "));
    dialog.btnOK->click();

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, kBlank);
    EXPECT_EQ(messages[0].flags, MB_OK);
    EXPECT_EQ(messages[0].title, kCaption);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QString());
    ASSERT_NE(dialog.focusWidget(), nullptr);
    EXPECT_TRUE(dialog.focusWidget() == dialog.cmbExt[0] || dialog.focusWidget() == dialog.cmbExt[0]->lineEdit());
    EXPECT_FALSE(stored(kInclude).has_value());
    EXPECT_FALSE(stored(kExclude).has_value());

    // The other kind's blank list is not checked.
    dialog.cmbExt[0]->setEditText(QStringLiteral("txt"));
    dialog.cmbExt[1]->clearEditText();
    dialog.btnOK->click();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(dialog.result(), QStringLiteral("OK"));
}

TEST_F(FilterDialogTest, CancelChangesNothing)
{
    seed(kInclude, QStringLiteral("txt\nlog"));
    QWidget mainWindow;
    int kind = 2;
    QString list = QStringLiteral("bak");
    bool preset = false;
    setDialogAnswerer([&preset](QDialog& shown) {
        auto& dialog = static_cast<frmFilter&>(shown);
        preset = dialog.optKind[1]->isChecked() && dialog.cmbExt[1]->currentText() == QStringLiteral("bak")
            && dialog.cmbExt[0]->currentText().isEmpty();
        dialog.optKind[0]->setChecked(true);
        dialog.cmbExt[0]->setEditText(QStringLiteral("doc"));
        dialog.btnCancel->click();
    });
    EXPECT_FALSE(runFilterDialog(&mainWindow, store, kind, list));
    EXPECT_TRUE(preset);
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(list, QStringLiteral("bak"));
    EXPECT_EQ(stored(kInclude), QStringLiteral("txt\nlog"));
    EXPECT_FALSE(stored(kExclude).has_value());
    // The dialog is gone, confirmed or not.
    EXPECT_TRUE(mainWindow.findChildren<frmFilter*>().isEmpty());

    // Closed by its frame: cancelled.
    frmFilter dialog(store);
    dialog.DispFilter(1, QStringLiteral("doc"));
    dialog.show();
    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QString());
    EXPECT_EQ(dialog.QDialog::result(), QDialog::Rejected);
}

TEST_F(FilterDialogTest, ClearingAHistoryAsksAndRemovesItAtOnce)
{
    seed(kInclude, QStringLiteral("txt\nlog"));
    seed(kExclude, QStringLiteral("bak\ntmp"));
    int kind = 1;
    QString list = QStringLiteral("txt");
    reply = IDNO;
    run(kind, list, [](frmFilter& dialog) { dialog.btnClearHistory[1]->click(); });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
        QStringLiteral("コピー除外拡張子の履歴を削除してよいですか？\r\n"
                       "（この履歴はレジストリに保存されており、設定ファイル（.vstl）の読込でも復元されません。）"));
    EXPECT_EQ(messages[0].flags, MB_YESNO);
    EXPECT_EQ(messages[0].title, kCaption);
    EXPECT_EQ(stored(kExclude), QStringLiteral("bak\ntmp"));

    // Yes: the list and its text are cleared and the value is gone, although
    // the dialog is then cancelled; the other history stays.
    reply = IDYES;
    messages.clear();
    QStringList left;
    QString text;
    EXPECT_FALSE(run(kind, list, [&](frmFilter& dialog) {
        dialog.btnClearHistory[0]->click();
        left = items(dialog.cmbExt[0]);
        text = dialog.cmbExt[0]->currentText();
        dialog.btnCancel->click();
    }));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("コピー採用拡張子の履歴を削除してよいですか？\r\n")));
    EXPECT_TRUE(left.isEmpty());
    EXPECT_EQ(text, QString());
    EXPECT_FALSE(stored(kInclude).has_value());
    EXPECT_EQ(stored(kExclude), QStringLiteral("bak\ntmp"));
}

TEST_F(FilterDialogTest, AStoreThatCannotBeOpenedIsSilentlyLeftAlone)
{
    seed(kInclude, QStringLiteral("txt\nlog"));
    seed(kExclude, QStringLiteral("bak\ntmp"));
    store.setUnavailable(true);
    reply = IDYES;
    int kind = 1;
    QString list = QStringLiteral("doc");
    QStringList shown;
    EXPECT_TRUE(run(kind, list, [&](frmFilter& dialog) {
        shown = items(dialog.cmbExt[0]) + items(dialog.cmbExt[1]);
        dialog.btnClearHistory[1]->click();
        dialog.cmbExt[0]->setEditText(QStringLiteral("xls doc"));
        dialog.btnOK->click();
    }));
    EXPECT_TRUE(shown.isEmpty());
    // The filter itself is still chosen; only the question was shown.
    EXPECT_EQ(list, QStringLiteral("doc xls"));
    EXPECT_EQ(messages.size(), 1u);
    store.setUnavailable(false);
    EXPECT_EQ(stored(kInclude), QStringLiteral("txt\nlog"));
    EXPECT_EQ(stored(kExclude), QStringLiteral("bak\ntmp"));
}

TEST_F(FilterDialogTest, EveryTextShowsInFull)
{
    frmFilter dialog(store);
    dialog.show();
    const QList<QWidget*> controls { dialog.optKind[0], dialog.optKind[1], dialog.btnClearHistory[0],
        dialog.btnClearHistory[1], dialog.Label1, dialog.Label2, dialog.Label3, dialog.Label4, dialog.btnOK,
        dialog.btnCancel };
    for (QWidget* control : controls) {
        EXPECT_GE(control->width(), control->sizeHint().width()) << control->objectName().toStdString();
        EXPECT_TRUE(dialog.rect().contains(control->geometry())) << control->objectName().toStdString();
    }
}
