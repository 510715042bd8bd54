#include "frmbase.h"
#include "store.h"

#include <QApplication>
#include <QPointer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    SettingsStore store;
    QPointer<frmBase> window = new frmBase(store);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->load();
    // The start-up sequence may already have ended the program (batch mode).
    if (!window)
        return 0;
    window->show();
    return app.exec();
}
