// frmAbout: the About dialog. It shows the program's title and version, what
// it does, its command-line options and whom to ask for support; clicking the
// support address starts a mail to it.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>

class QFrame;
class QLabel;
class QPushButton;

class frmAbout : public QDialog {
    Q_OBJECT

public:
    // The program's title, its maker, and the maker's support address.
    static const QString kTitle;
    static const QString kCompany;
    static const QString kSupportMail;

    explicit frmAbout(QWidget* parent = nullptr);

    // The program's version as major.minor.revision.
    static QString versionText();
    // PROJECTVERSION, as the build names it, as major.minor.revision: each a
    // plain decimal number, a missing one 0, anything after the third dropped.
    static QString versionText(const QString& projectVersion);

    // Test seam: what a click on the support address hands its "mailto:" link
    // to; by default OpenWithShell. An empty opener restores the default.
    using ShellOpener = std::function<void(const QString& target)>;
    static void setShellOpener(ShellOpener opener);

    QLabel* picIcon;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label1;
    QLabel* lbMailTo;
    QLabel* lbCompany;
    std::array<QFrame*, 2> Line1;
    QPushButton* cmdOK;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void lbMailTo_Click();
};

// Shows the About dialog modally over PARENT (through execDialog, so tests
// answer it like any other dialog).
void showAbout(QWidget* parent);
