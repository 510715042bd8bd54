#include "engine/decision.h"

#include <cctype>
#include <cmath>
#include <gtest/gtest.h>
#include <string>

struct DecisionRow {
    const char* name;
    bool filteredOut;
    std::int64_t src;
    std::optional<std::int64_t> dst;
    double ignSec;
    Verdict expected;
};

class DecisionTable : public ::testing::TestWithParam<DecisionRow> { };

TEST_P(DecisionTable, Decides)
{
    const DecisionRow& row = GetParam();
    EXPECT_EQ(decideCopy(row.filteredOut, row.src, row.dst, row.ignSec), row.expected) << row.name;
}

INSTANTIATE_TEST_SUITE_P(UpdateRule, DecisionTable,
    ::testing::Values(DecisionRow { "destination missing", false, 100, std::nullopt, 0, Verdict::Copy },
        DecisionRow { "missing, tolerance set", false, 100, std::nullopt, 5, Verdict::Copy },
        DecisionRow { "filtered out beats missing", true, 100, std::nullopt, 0, Verdict::FilteredOut },
        DecisionRow { "source older", false, 100, 200, 0, Verdict::NotNewer },
        DecisionRow { "equal times", false, 100, 100, 0, Verdict::NotNewer },
        DecisionRow { "destination much newer, big tolerance", false, 100, 100000, 1e9, Verdict::NotNewer },
        DecisionRow { "newer by 1, no tolerance", false, 101, 100, 0, Verdict::Copy },
        DecisionRow { "newer by 1, negative tolerance", false, 101, 100, -5, Verdict::Copy },
        DecisionRow { "newer by 1, NaN tolerance", false, 101, 100, std::nan(""), Verdict::Copy },
        DecisionRow { "newer by 1 within 2", false, 101, 100, 2, Verdict::WithinTolerance },
        DecisionRow { "newer by exactly 2", false, 102, 100, 2, Verdict::WithinTolerance },
        DecisionRow { "newer by 3 beyond 2", false, 103, 100, 2, Verdict::Copy },
        DecisionRow { "fractional tolerance", false, 102, 100, 1.5, Verdict::Copy },
        DecisionRow { "times before the epoch", false, -5, -10, 0, Verdict::Copy }),
    [](const ::testing::TestParamInfo<DecisionRow>& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });
