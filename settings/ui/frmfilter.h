// The extension-filter dialog: the user chooses whether only the listed
// extensions are copied or the listed ones are left out, and types the list or
// picks one confirmed before. Each kind keeps its confirmed lists as a history
// in the settings store ("ExtIncludeList", "ExtExcludeList"), one list a line,
// top of the drop-down list first.
//
// A list is confirmed in its normalised form: extensions without leading dots,
// separated by single spaces, sorted with SortStrings.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <QDialog>
#include <QString>
#include <array>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QResizeEvent;
class SettingsStore;

class frmFilter : public QDialog {
    Q_OBJECT

public:
    // Loads both histories from STORE, which must outlive the dialog.
    explicit frmFilter(SettingsStore& store, QWidget* parent = nullptr);

    // Presets the dialog with the main window's filter: kind 2 goes to the
    // exclude list, any other kind (0 none yet, 1) to the include list; the
    // other list's text stays empty.
    void DispFilter(int nKind, const QString& strFilter);
    // The chosen filter: kind 1 or 2 and the text of that kind's list without
    // leading and trailing spaces.
    void GetFilter(int& nKind, QString& strFilter) const;
    // "OK" once the filter was confirmed, empty otherwise (lbRet's text). It
    // hides QDialog::result(); that accept/reject code is still there as
    // QDialog::result().
    QString result() const;

    // Controls; each carries its name as objectName(), the two of a pair the
    // same name with their index in the property "index".
    std::array<QRadioButton*, 2> optKind {};
    std::array<QComboBox*, 2> cmbExt {};
    std::array<QPushButton*, 2> btnClearHistory {};
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    // Hidden; carries "OK" after a confirmation.
    QLabel* lbRet = nullptr;

public slots:
    // Cancel, Escape and the frame's close button: nothing is confirmed.
    void reject() override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void btnOK_Click();
    void btnClearHistory_Click(int nIndex);
    void LoadExtHistory(const QString& strName, int nIndex);
    void SaveExtHistory(const QString& strName, int nIndex);

    SettingsStore& store_;
};

// The main window's filter button: shows the dialog preset with the current
// filter (through execDialog). When the user confirms, the chosen kind and
// list go to the two arguments and the result is true; on cancel they are
// left as they were and the result is false.
bool runFilterDialog(QWidget* parent, SettingsStore& store, int& nExtFilterKind, QString& strExtFilter);
