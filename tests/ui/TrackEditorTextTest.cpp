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
        // Minutes and seconds, hours too; what follows a colon is under 60,
        // and nothing lasts longer than a day.
        DurationCase {"3:07", 187}, DurationCase {"3:7", 187}, DurationCase {"1:02:03", 3723}, DurationCase {"99:59", 5999},
        DurationCase {"24:00:00", 86400}, DurationCase {"+2:00", 120}, DurationCase {"3::07", 187}, DurationCase {":45", std::nullopt},
        DurationCase {"1:75", std::nullopt}, DurationCase {"99:99", std::nullopt}, DurationCase {"1:60:00", std::nullopt},
        DurationCase {"24:00:01", std::nullopt}, DurationCase {"1441:00", std::nullopt}, DurationCase {"-1:00", std::nullopt},
        DurationCase {"99999999:00", std::nullopt}, DurationCase {"86401", std::nullopt},
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
    for (const double seconds : {1.0, 59.0, 187.0, 3599.0, 3600.0, 86399.0, 86400.0}) {
        const QString text = formatDurationText(seconds);
        EXPECT_EQ(parseDurationText(text), seconds) << text.toStdString();
    }
}

TEST(DurationText, SaysWhatIsWrongWithATextThatIsNoDuration)
{
    EXPECT_EQ(durationTextProblem(QStringLiteral("3:07")), std::nullopt);
    EXPECT_EQ(durationTextProblem(QStringLiteral("")), std::nullopt);
    EXPECT_EQ(durationTextProblem(QStringLiteral("99:99")), QStringLiteral("Minutes and seconds after a colon go up to 59."));
    EXPECT_EQ(durationTextProblem(QStringLiteral("25:00:00")), QStringLiteral("A song can last at most 24 hours."));
    EXPECT_EQ(durationTextProblem(QStringLiteral("-5")), QStringLiteral("A duration cannot be negative."));
    EXPECT_EQ(durationTextProblem(QStringLiteral("3 min")),
              QStringLiteral("Use minutes and seconds (3:07), hours, minutes and seconds (1:02:03), or seconds."));
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
