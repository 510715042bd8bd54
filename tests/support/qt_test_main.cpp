// main() for tests of Qt code: one QApplication on the offscreen platform
// (a QCoreApplication for code on Qt Core alone), and XDG folders of the
// test's own so that no test reads or writes the user's real settings.
#ifdef VESTRELLE_CORE_TEST
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#else
#include <QApplication>
using TestApplication = QApplication;
#endif
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit().constData(), 1);
    setenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit().constData(), 1);
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
