#include "run/runprogress.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t kMiB = 1 << 20;

struct MeterRow {
    const char* name;
    std::optional<SourceSize> total;
    bool estimate;
    ProgressSample sample;
    const char* line;
};

void PrintTo(const MeterRow& row, std::ostream* out)
{
    *out << row.name;
}

class MeterLine : public testing::TestWithParam<MeterRow> { };

ProgressSample at(double seconds, std::int64_t files, std::int64_t checked, std::int64_t copied)
{
    ProgressSample sample;
    sample.seconds = seconds;
    sample.filesChecked = files;
    sample.run.bytesChecked = checked;
    sample.run.bytesCopied = copied;
    return sample;
}

ProgressSample withLargeFile(ProgressSample sample, std::int64_t done, std::int64_t size)
{
    sample.run.largeFile = "/dst/photos/movie.mkv";
    sample.run.largeDone = done;
    sample.run.largeSize = size;
    return sample;
}

} // namespace

TEST_P(MeterLine, Reads)
{
    ProgressMeter meter(GetParam().total, GetParam().estimate);
    EXPECT_EQ(meter.update(GetParam().sample).toStdString(), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Runs, MeterLine,
    testing::Values(MeterRow { "KnownCountTooEarlyToTell", SourceSize { 5000, 100 * kMiB }, false,
                        at(2, 1000, 20 * kMiB, 3 * kMiB), "検査 1,000 / 5,000　コピー 3.00 MB　1.50 MB/秒　残り —" },
        // Half the files and half the bytes in 10 s: as long again.
        MeterRow { "KnownCountHalfway", SourceSize { 4000, 100 * kMiB }, false, at(10, 2000, 50 * kMiB, 50 * kMiB),
            "検査 2,000 / 4,000　コピー 50.0 MB　5.00 MB/秒　残り 約 10 秒" },
        // A tenth of the bytes in 10 min: the large files still to come take the time.
        MeterRow { "TheShareFurthestBehindCounts", SourceSize { 100, 1000 * kMiB }, false, at(600, 90, 100 * kMiB, 0),
            "検査 90 / 100　コピー 0 B　0 B/秒　残り 約 1 時間 30 分" },
        // Half the bytes copied, their files not reported yet.
        MeterRow { "BytesCopiedCountBeforeTheirReport", SourceSize { 2, 100 * kMiB }, false, at(20, 1, 0, 50 * kMiB),
            "検査 1 / 2　コピー 50.0 MB　2.50 MB/秒　残り 約 20 秒" },
        MeterRow { "UnknownCountNeverGuesses", std::nullopt, false, at(3600, 10, 0, 1536),
            "検査 10　コピー 1.50 KB　0 B/秒　残り —" },
        MeterRow { "SourceGrewPastTheCount", SourceSize { 10, 10 }, false, at(60, 12, 12, 0),
            "検査 12 / 10　コピー 0 B　0 B/秒　残り —" },
        MeterRow { "LargeFileShowsItsShare", std::nullopt, false,
            withLargeFile(at(1, 0, 0, 3 * kMiB), 3 * kMiB, 12 * kMiB),
            "検査 0　コピー 3.00 MB　3.00 MB/秒　残り —　movie.mkv 25%" },
        MeterRow { "EstimateTellsWhatItChecked", SourceSize { 10, 30 * kMiB }, true, at(50, 5, 15 * kMiB, 0),
            "検査 5 / 10　15.0 MB 検査済み　残り 約 50 秒" }),
    [](const testing::TestParamInfo<MeterRow>& row) { return row.param.name; });

TEST(ProgressMeter, SpeedIsOfTheLastFewSeconds)
{
    ProgressMeter meter(std::nullopt, false);
    // 100 MB in the first second, then nothing more for ten.
    meter.update(at(1, 1, 0, 100 * kMiB));
    for (int second = 2; second <= 11; ++second)
        meter.update(at(second, 1, 0, 100 * kMiB));
    EXPECT_EQ(meter.update(at(12, 1, 0, 100 * kMiB)).toStdString(), "検査 1　コピー 100 MB　0 B/秒　残り —");
}

TEST(ProgressMeter, ALongNameLosesItsMiddleNotItsShare)
{
    ProgressMeter meter(std::nullopt, false);
    ProgressSample sample = withLargeFile(at(1, 0, 0, 0), 3 * kMiB, 12 * kMiB);
    sample.run.largeFile = "/dst/2024-08-15 家族旅行 北海道 富良野 ドローン空撮 4K HDR 完全版 その3.mkv";
    EXPECT_EQ(
        meter.update(sample).toStdString(), "検査 0　コピー 0 B　0 B/秒　残り —　2024-08-15…R 完全版 その3.mkv 25%");
    // A character outside the basic plane at either cut goes whole.
    sample.run.largeFile = "/dst/123456789😀" + std::string(20, 'x') + "😀xxxxxxxx.mkv";
    EXPECT_EQ(meter.update(sample).toStdString(), "検査 0　コピー 0 B　0 B/秒　残り —　123456789…xxxxxxxx.mkv 25%");
}

TEST(ProgressMeter, TimeLeftAsPeopleSayIt)
{
    EXPECT_EQ(formatTimeLeft(0.4).toStdString(), "約 5 秒");
    EXPECT_EQ(formatTimeLeft(41).toStdString(), "約 45 秒");
    EXPECT_EQ(formatTimeLeft(61).toStdString(), "約 2 分");
    EXPECT_EQ(formatTimeLeft(3900).toStdString(), "約 1 時間 5 分");
}
