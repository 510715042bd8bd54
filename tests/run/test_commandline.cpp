#include "run/commandline.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

TEST(CommandLine, QtOptionsAreNotTheProgramsAndOneFileOpensTheWindow)
{
    testsupport::TempDir dir;
    const QString set = QString::fromStdString(dir / "set.vstl");
    testsupport::writeFile(dir / "set.vstl", "cmbSrc\t/a\n");
    const struct {
        const char* name;
        QStringList given;
        StartKind kind;
    } cases[] = {
        { "nothing", {}, StartKind::Window },
        { "style", { "-style", "fusion" }, StartKind::Window },
        { "style with equals", { "-style=fusion", "--reverse" }, StartKind::Window },
        { "platform and geometry", { "-platform", "xcb", "-geometry", "800x600" }, StartKind::Window },
        { "a copy set", { set }, StartKind::OpenCopySet },
        { "a copy set and a style", { "-style", "fusion", set }, StartKind::OpenCopySet },
        { "a missing file", { set + "x" }, StartKind::MissingFile },
        { "an unknown option", { "--bogus" }, StartKind::Batch },
        { "a folder", { QString::fromStdString(dir.path()) }, StartKind::Batch },
        { "batch", { "-f", set, "-l", "log" }, StartKind::Batch },
        { "help after others", { "-f", set, "--help" }, StartKind::Help },
        { "version", { "-V" }, StartKind::Version },
    };
    for (const auto& c : cases)
        EXPECT_EQ(startKindOf(withoutQtOptions(c.given)), c.kind) << c.name;

    EXPECT_EQ(withoutQtOptions({ "-style", "fusion", "-F", "my set.vstl", "-display", ":1", "-L", "x" }),
        (QStringList { "-F", "my set.vstl", "-L", "x" }));
    const BatchOptions options = readBatchOptions({ "-F", "my set.vstl", "-l", "a log", "-f" });
    EXPECT_EQ(options.setFile, "my set.vstl");
    EXPECT_EQ(options.logFile, "a log");
}
