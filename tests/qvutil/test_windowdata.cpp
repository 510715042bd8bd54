// Window data records. Records live for the whole process, so every test uses
// window handles of its own.
#include "qvutil/qvutil.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

TEST(WindowData, SetAndGetRoundTrip)
{
    const intptr_t record = qvuSetQuorvaneGridData(0x1001, 1, -2, 3);
    ASSERT_NE(record, 0);
    int32_t a = 0, b = 0, c = 0;
    qvuGetQuorvaneGridData(0x1001, &a, &b, &c);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, -2);
    EXPECT_EQ(c, 3);
    qvuGetQuorvaneGridData(0x1001, nullptr, &b, nullptr);

    // Setting again keeps the record where it is (earlier addresses stay valid).
    EXPECT_EQ(qvuSetQuorvaneGridData(0x1001, 4, 5, 6), record);
    EXPECT_EQ(reinterpret_cast<const int32_t*>(record)[2], 6);
    EXPECT_NE(qvuSetQuorvaneGridData(0x1002, 7, 8, 9), record);
}

TEST(WindowData, UnknownOrNullHandleGivesNothing)
{
    int32_t a = 11, b = 12, c = 13;
    qvuGetQuorvaneGridData(0x2001, &a, &b, &c);
    qvuGetQuorvaneGridData(0, &a, &b, &c);
    EXPECT_EQ(a, 11);
    EXPECT_EQ(b, 12);
    EXPECT_EQ(c, 13);
    EXPECT_EQ(qvuSetQuorvaneGridData(0, 1, 2, 3), 0);

    unsigned char buf[4] = { 9, 9, 9, 9 };
    EXPECT_EQ(qvuGetWindowUserData(0x2001, sizeof buf, buf), 0);
    EXPECT_EQ(qvuGetWindowUserData(0, sizeof buf, buf), 0);
    EXPECT_EQ(buf[0], 9);
}

TEST(WindowData, UserDataCopiesAtMostTheRecordAndPrintsIt)
{
    ASSERT_NE(qvuSetQuorvaneGridData(0x3001, 1, 258, -1), 0);
    unsigned char buf[64];
    std::memset(buf, 0xAA, sizeof buf);
    testing::internal::CaptureStderr();
    EXPECT_EQ(qvuGetWindowUserData(0x3001, sizeof buf, buf), 12);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "libqvutil.so: 1,0,0,0,2,1,0,0,255,255,255,255,\n");
    EXPECT_EQ(buf[12], 0xAA);

    testing::internal::CaptureStderr();
    EXPECT_EQ(qvuGetWindowUserData(0x3001, 2, buf), 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "libqvutil.so: 1,0,\n");
    EXPECT_EQ(qvuGetWindowUserData(0x3001, 0, buf), 0);
    EXPECT_EQ(qvuGetWindowUserData(0x3001, 12, nullptr), 0);
}

} // namespace
