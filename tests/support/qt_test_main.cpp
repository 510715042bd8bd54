// main() for tests that drive widgets: one QApplication on the offscreen
// platform, and XDG folders of the test's own so that no test reads or writes
// the user's real settings.
#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", home.filePath("config").toLocal8Bit().constData(), 1);
    setenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
