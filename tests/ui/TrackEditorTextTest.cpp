#include "ui/editors/TrackEditorText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

namespace varno {
namespace {

struct DurationCase {
    const char* text;
    std::optional<double> seconds;
};

void PrintTo(const DurationCase& example, std::ostream* os)
{
    *os << '"' << example.text << '"';
}

class DurationParsing : public ::testing::TestWithParam<DurationCase> {};

TEST_P(DurationParsing, ReadsTheTextAsTheEditorSaves)
{
    const DurationCase& example = GetParam();
    EXPECT_EQ(parseDurationText(QString::fromUtf8(example.text)), example.seconds) << "text: \"" << example.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DurationParsing,
    ::testing::Values(
        // Minutes and seconds, hours too; pieces are not range-checked.
        DurationCase {"3:07", 187}, DurationCase {"3:7", 187}, DurationCase {"1:02:03", 3723}, DurationCase {"1:75", 135},
        DurationCase {"1:60:00", 7200}, DurationCase {"99999999:00", 5999999940.0}, DurationCase {"-1:00", -60},
        DurationCase {"+2:00", 120}, DurationCase {"3::07", 187}, DurationCase {":45", std::nullopt},
        // Plain seconds, trimmed; blank is zero.
        DurationCase {"187", 187}, DurationCase {"  187 \n", 187}, DurationCase {"215.5", 215.5}, DurationCase {"", 0},
        DurationCase {" \t", 0}, DurationCase {"0", 0},
        // Not durations.
        DurationCase {"1:2:3:4", std::nullopt}, DurationCase {"3:ab", std::nullopt}, DurationCase {"3: 07", std::nullopt},
        DurationCase {"1.5:00", std::nullopt}, DurationCase {"-5", std::nullopt}, DurationCase {"inf", std::nullopt},
        DurationCase {"nan", std::nullopt}, DurationCase {"0x10", std::nullopt}, DurationCase {"3 min", std::nullopt},
        DurationCase {"99999999999999999999:00", std::nullopt}, DurationCase {"9223372036854775807:00", std::nullopt},
        DurationCase {"1e999", std::nullopt}));

struct FormatCase {
    double seconds;
    const char* text;
};

void PrintTo(const FormatCase& example, std::ostream* os)
{
    *os << example.seconds << " s";
}

class DurationFormatting : public ::testing::TestWithParam<FormatCase> {};

TEST_P(DurationFormatting, ShowsMinutesAndSecondsOrHours)
{
    EXPECT_EQ(formatDurationText(GetParam().seconds), QString::fromUtf8(GetParam().text)) << "seconds: " << GetParam().seconds;
}

INSTANTIATE_TEST_SUITE_P(Durations, DurationFormatting,
                         ::testing::Values(FormatCase {187, "3:07"}, FormatCase {59.5, "1:00"}, FormatCase {59.4, "0:59"},
                                           FormatCase {0.5, "0:01"}, FormatCase {3599.4, "59:59"}, FormatCase {3600, "1:00:00"},
                                           FormatCase {3725, "1:02:05"}, FormatCase {360000, "100:00:00"}, FormatCase {0, "0:00"},
                                           FormatCase {-3, "0:00"}, FormatCase {std::numeric_limits<double>::infinity(), "0:00"},
                                           FormatCase {std::nan(""), "0:00"}));

TEST(DurationText, WhatIsShownReadsBackAsTheRoundedDuration)
{
    for (const double seconds : {1.0, 59.0, 187.0, 3599.0, 3600.0, 86399.0, 1e9}) {
        const QString text = formatDurationText(seconds);
        EXPECT_EQ(parseDurationText(text), seconds) << text.toStdString();
    }
}

TEST(WholeNumberText, AcceptsSignedDigitsWithin64BitsAndNothingElse)
{
    EXPECT_EQ(parseWholeNumber(QStringLiteral(" 1999 ")), 1999);
    EXPECT_EQ(parseWholeNumber(QStringLiteral("-4")), -4);
    EXPECT_EQ(parseWholeNumber(QStringLiteral("+12")), 12);
    EXPECT_EQ(parseWholeNumber(QStringLiteral("9223372036854775807")), std::numeric_limits<std::int64_t>::max());
    for (const char* invalid : {"", "19x9", "12.0", "1e3", "9223372036854775808", "1 000", "٣"})
        EXPECT_EQ(parseWholeNumber(QString::fromUtf8(invalid)), std::nullopt) << invalid;

    EXPECT_TRUE(isBlankOrWholeNumber(QStringLiteral("  ")));
    EXPECT_TRUE(isBlankOrWholeNumber(QStringLiteral("7")));
    EXPECT_FALSE(isBlankOrWholeNumber(QStringLiteral("seven")));
}

} // namespace
} // namespace varno
