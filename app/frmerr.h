// The copy-error dialog: shows the paths and the error text and asks whether
// to stop the run, retry, skip the item, or skip every later error as well.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include "engine/listener.h"

#include <QDialog>
#include <QString>
#include <functional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class frmErr : public QDialog {
    Q_OBJECT

public:
    explicit frmErr(QWidget* parent = nullptr);

    // Fills the three boxes. Shows the hint about the access rights of
    // "Documents and Settings" when that text (letter case counts) is part of
    // either path and the system's major version is 6 or more, or unknown (0).
    void SetError(const QString& strSrc, const QString& strDst, const QString& strDesc);

    // The reply the user chose; Stop when the dialog was closed without a choice.
    ErrorReply reply() const;

    // Where SetError learns the system's major version; by default the
    // kernel's, from uname. An empty reader restores the default.
    using VersionReader = std::function<int()>;
    static void setVersionReader(VersionReader reader);

    QLineEdit* editsrc;
    QLineEdit* editDst;
    QPlainTextEdit* editDesc;
    QLabel* lbVista;
    QPushButton* btnStop;
    QPushButton* btnRetry;
    QPushButton* btnNext;
    QPushButton* btnNextAll;
    // Carries the chosen reply code as decimal text; empty until one is chosen.
    QLabel* lbRet;

public slots:
    // Escape and the title bar's close button come here: they answer Stop.
    void reject() override;

private:
    QPushButton* addReplyButton(const char* name, const QString& caption, ErrorReply reply);
};
