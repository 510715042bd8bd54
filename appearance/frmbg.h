// The background dialog: the user chooses the picture behind the main
// window's controls (automatic by time of day, none, one of the nine built-in
// gradients, or a picture file of their own) and the colour of the labels
// that stand on it.
//
// Colours are 0x00BBGGRR values. The dialog shows the label colour twice: in
// hexadecimal (editRGB) and as decimal red, green and blue (editLabel). Editing
// a component rewrites the hexadecimal text; typing a hexadecimal text leaves
// the components alone, and it is the hexadecimal text that counts.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class frmBG : public QDialog {
    Q_OBJECT

public:
    explicit frmBG(QWidget* parent = nullptr);

    // Fills the dialog from a setting: kind -1 automatic, 0 none, 1..9
    // built-in gradient (its swatch selected), anything else own picture.
    void DispBGSetting(std::int32_t nKind, const QString& strPath, std::int32_t nColor);
    // The chosen kind (-1, 0, 1..9 or 100; 100 also when no option is
    // chosen), with the picture path (spaces around it removed) and the label
    // colour, whatever the kind. When editRGB does not hold a colour value the
    // colour is the one the dialog last showed (ShowLabelColor); the OK button
    // does not let that happen for the kinds that use a label colour.
    std::int32_t GetBGSetting(QString& strPath, std::int32_t& nColor) const;
    // Shows NCOLOR in editRGB and in the three component boxes. Only the
    // colour part (the low 24 bits) is shown.
    void ShowLabelColor(std::int32_t nColor);
    // "OK" once the setting was confirmed, empty otherwise (lbRet's text). It
    // hides QDialog::result(); that accept/reject code is still there as
    // QDialog::result().
    QString result() const;

    // True when PATH is a picture this program can show (loaded into imgCheck
    // once as a trial).
    bool bCanLoadPicture(const QString& strPath);

    // The chosen swatch, 1..9, or 0 when none was chosen yet.
    std::int32_t nSelectedBG = 0;

    // Controls; each carries its name as objectName(), the members of an
    // array the same name with their index in the property "index". A
    // swatch's background (QPalette::Window) is the highlight colour while it
    // is the chosen one and enabled, otherwise the button face.
    std::array<QRadioButton*, 4> optKInd {};
    std::array<QFrame*, 9> picBox {};
    std::array<QLabel*, 9> imgBK {};
    std::array<QLabel*, 9> lbPic {};
    QLineEdit* editPath = nullptr;
    QPushButton* btnPath = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* editRGB = nullptr;
    std::array<QLineEdit*, 3> editLabel {};
    // The "R", "G" and "B" captions of editLabel.
    std::array<QLabel*, 3> lbRGB {};
    QPushButton* btnColor = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    // Hidden: the trial load of a picture, and the dialog's result.
    QLabel* imgCheck = nullptr;
    QLabel* lbRet = nullptr;

public slots:
    // Cancel, Escape and the frame's close button: nothing is confirmed.
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int nSelectedKind() const;
    void optKInd_Click();
    void picBox_Click(int nIndex);
    void editLabel_Change();
    void btnPath_Click();
    void btnColor_Click();
    void btnOK_Click();
    // editRGB's colour, or a message and the focus on editRGB when it holds
    // no colour value.
    std::optional<std::int32_t> colorForUse();
    void setSwatchColor(int nIndex, bool selected);

    // The colour ShowLabelColor showed last.
    std::int32_t nShownColor_ = 0;
};

// The main window's background command: shows the dialog filled with the
// current setting (through execDialog). When the user confirms, the chosen
// kind, path and colour go to the three arguments and the result is true; on
// cancel they are left as they were and the result is false.
bool runBackgroundDialog(QWidget* parent, std::int32_t& nGradation, QString& strBGPicture, std::int32_t& nLabelColor);
