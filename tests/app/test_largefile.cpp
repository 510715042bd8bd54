// A large file's own share in the status line, read between the steps of its
// copy. This program's copy_file_range takes the C library's place for
// libqvutil too (the program exports it), so that a test can stop a copy
// between two steps, each told when it is done.
#include "app/frmbase.h"
#include "app/textlabel.h"
#include "tests/support/duringcopy.h"
#include "tests/support/testsupport.h"
#include "windowtest.h"

#include <QPushButton>
#include <QRegularExpression>
#include <atomic>
#include <dlfcn.h>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Called as every copy_file_range begins; the calls are counted.
std::function<void()> beforeRangeCopy;
std::atomic<int> rangeCopies { 0 };

} // namespace

extern "C" ssize_t copy_file_range(int in, loff_t* inAt, int out, loff_t* outAt, size_t length, unsigned flags) noexcept
{
    using Real = ssize_t (*)(int, loff_t*, int, loff_t*, size_t, unsigned);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "copy_file_range"));
    ++rangeCopies;
    if (beforeRangeCopy)
        beforeRangeCopy();
    return real(in, inAt, out, outAt, length, flags);
}

namespace {

class LargeFile : public WindowTest {
protected:
    void TearDown() override
    {
        beforeRangeCopy = nullptr;
        WindowTest::TearDown();
    }
};

} // namespace

// 24 MiB within one volume go in three steps of 8 MiB: before each, the
// window ticks and the share the status line shows is taken.
TEST_F(LargeFile, ItsShareRisesStepByStep)
{
    std::string data(24 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 131 >> 12);
    testsupport::writeFile(src + "/big.bin", data, 1700000000);
    fill(src, dst);
    QStringList shares;
    window->setParallelCopies(1);
    rangeCopies = 0;
    beforeRangeCopy = [&] {
        testsupport::actOnWindow(*window, [&] {
            QMetaObject::invokeMethod(window, "Timer1_Timer");
            const QString status = control<TextLabel>("lbMsg")->text();
            shares << QRegularExpression(QStringLiteral("　big\\.bin (\\d+)%　")).match(status).captured(1);
        });
    };
    control<QPushButton>("btnStart")->click();
    finishRun();
    beforeRangeCopy = nullptr;

    // None at all: the copy went by another route (a reflink, read and
    // write), or libqvutil called the C library's copy_file_range.
    EXPECT_EQ(shares.join(' ').toStdString(), "0 33 66") << rangeCopies << " copy_file_range calls";
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages.back().startsWith(QStringLiteral("コピーが終了しました。"))) << messages.back().toStdString();
    EXPECT_TRUE(testsupport::readFile(dst + "/big.bin") == data);
}
