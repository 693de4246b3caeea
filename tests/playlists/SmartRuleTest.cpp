#include "TestSupport.h"

#include "platform/Error.h"
#include "playlists/PlaylistError.h"
#include "playlists/SmartRuleMatcher.h"
#include "storage/SmartRule.h"

#include <QDateTime>

#include <gtest/gtest.h>

using namespace varno;

namespace {

SmartRule rule(SmartRuleProperty property, SmartRuleCondition condition, const QString& value)
{
    SmartRule r;
    r.property = property;
    r.condition = condition;
    r.value = value;
    return r;
}

SmartRuleSet all(QList<SmartRule> rules)
{
    return SmartRuleSet {true, std::move(rules)};
}

SmartRuleSet any(QList<SmartRule> rules)
{
    return SmartRuleSet {false, std::move(rules)};
}

Track song(const QString& title, std::optional<QString> artist = {}, std::optional<std::int64_t> year = {}, std::int64_t rating = 0)
{
    Track track = test::makeTrack(title);
    track.artist = std::move(artist);
    track.year = year;
    track.rating = rating;
    return track;
}

Timestamp localNoon(int year, int month, int day)
{
    return Timestamp::fromDateTime(QDateTime(QDate(year, month, day), QTime(12, 0), Qt::LocalTime));
}

class SmartRuleMatcherTest : public ::testing::Test {
protected:
    SmartRuleMatcherTest()
    {
        library = TrackList {
            song(QStringLiteral("Hyperballad"), QStringLiteral("Björk"), 1995, 5),
            song(QStringLiteral("Army of Me"), QStringLiteral("BJORK"), 1995, 3),
            song(QStringLiteral("So What"), QStringLiteral("Miles Davis"), 1959, 4),
            song(QStringLiteral("Untagged")),
        };
    }

    QStringList matching(const SmartRuleSet& rules, const PlayCounts& counts = {})
    {
        SmartRuleMatcher matcher(rules);
        return test::titlesOf(matcher.matchingSongs(library, counts));
    }

    TrackList library;
};

} // namespace

TEST_F(SmartRuleMatcherTest, TextsCompareIgnoringCaseAndAccentsAndAMissingFieldIsEmpty)
{
    using enum SmartRuleCondition;
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::Artist, IsExactly, QStringLiteral("bjork"))})),
              (QStringList {QStringLiteral("Hyperballad"), QStringLiteral("Army of Me")}));
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::Artist, BeginsWith, QStringLiteral("MIL"))})), QStringList {QStringLiteral("So What")});
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::Artist, Contains, QString())})).size(), 4);
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::Artist, IsExactly, QString())})), QStringList {QStringLiteral("Untagged")});
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::Artist, IsGreaterThan, QStringLiteral("c"))})), QStringList {QStringLiteral("So What")});
}

TEST_F(SmartRuleMatcherTest, NumbersCompareAsNumbersAndASongWithoutOneMatchesNoRuleAboutIt)
{
    using enum SmartRuleCondition;
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::Year, IsLessThan, QStringLiteral("1990"))})), QStringList {QStringLiteral("So What")});
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::Year, IsGreaterThan, QStringLiteral("0"))})).size(), 3);
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::Year, BeginsWith, QStringLiteral("19"))})).size(), 3);
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::Rating, IsExactly, QStringLiteral(" 0 "))})), QStringList {QStringLiteral("Untagged")});
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::Bpm, IsLessThan, QStringLiteral("500"))})), QStringList());
}

TEST_F(SmartRuleMatcherTest, AllOrAnyInLibraryOrder)
{
    using enum SmartRuleCondition;
    const QList<SmartRule> rules {rule(SmartRuleProperty::Year, IsExactly, QStringLiteral("1995")),
                                  rule(SmartRuleProperty::Rating, IsGreaterThan, QStringLiteral("3"))};
    EXPECT_EQ(matching(all(rules)), QStringList {QStringLiteral("Hyperballad")});
    EXPECT_EQ(matching(any(rules)), (QStringList {QStringLiteral("Hyperballad"), QStringLiteral("Army of Me"), QStringLiteral("So What")}));
    EXPECT_EQ(matching(all({})), QStringList());
    EXPECT_EQ(matching(any({})), QStringList());
}

TEST_F(SmartRuleMatcherTest, PlayCountsComeFromTheCountsGiven)
{
    const PlayCounts counts {{library[2].id, 12}, {library[0].id, 2}};
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::PlayCount, SmartRuleCondition::IsGreaterThan, QStringLiteral("10"))}), counts),
              QStringList {QStringLiteral("So What")});
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::PlayCount, SmartRuleCondition::IsExactly, QStringLiteral("0"))}), counts),
              (QStringList {QStringLiteral("Army of Me"), QStringLiteral("Untagged")}));
}

TEST_F(SmartRuleMatcherTest, DateAddedIsTheLocalDay)
{
    std::vector<Track> songs {song(QStringLiteral("March")), song(QStringLiteral("May")), song(QStringLiteral("Never"))};
    songs[0].dateAdded = localNoon(2024, 3, 9);
    songs[1].dateAdded = localNoon(2024, 5, 1);
    songs[2].dateAdded.reset();
    library = TrackList(songs);
    using enum SmartRuleCondition;
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::DateAdded, IsExactly, QStringLiteral("2024-03-09"))})), QStringList {QStringLiteral("March")});
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::DateAdded, IsGreaterThan, QStringLiteral("2024-03-09"))})), QStringList {QStringLiteral("May")});
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::DateAdded, IsLessThan, QStringLiteral("2024-03-10"))})), QStringList {QStringLiteral("March")});
    EXPECT_EQ(matching(all({rule(SmartRuleProperty::DateAdded, BeginsWith, QStringLiteral("2024-05"))})), QStringList {QStringLiteral("May")});
}

TEST_F(SmartRuleMatcherTest, AValueThatDoesNotFitMatchesNothing)
{
    EXPECT_EQ(matching(any({rule(SmartRuleProperty::Rating, SmartRuleCondition::IsGreaterThan, QStringLiteral("abc")),
                            rule(SmartRuleProperty::Year, SmartRuleCondition::IsExactly, QStringLiteral("1959"))})),
              QStringList {QStringLiteral("So What")});
}

TEST(SmartRuleValidation, NumbersAndDatesAreRefusedWithWhatTheyNeed)
{
    const auto problem = [](SmartRuleProperty property, SmartRuleCondition condition, const char* value) -> QString {
        try {
            validateSmartRule(rule(property, condition, QString::fromUtf8(value)));
        } catch (const PlaylistError& error) {
            EXPECT_EQ(error.kind(), PlaylistError::Kind::InvalidRuleValue);
            return error.description();
        }
        return QString();
    };
    using enum SmartRuleCondition;
    EXPECT_EQ(problem(SmartRuleProperty::Rating, IsGreaterThan, "abc"), QStringLiteral("Rating needs a whole number, not \u201Cabc\u201D."));
    EXPECT_EQ(problem(SmartRuleProperty::PlayCount, IsLessThan, ""), QStringLiteral("Play Count needs a whole number."));
    EXPECT_EQ(problem(SmartRuleProperty::Bpm, IsExactly, "12.5"), QStringLiteral("BPM needs a whole number, not \u201C12.5\u201D."));
    EXPECT_EQ(problem(SmartRuleProperty::DateAdded, IsGreaterThan, "yesterday"),
              QStringLiteral("Date Added needs a date written as YYYY-MM-DD, not \u201Cyesterday\u201D."));
    EXPECT_EQ(problem(SmartRuleProperty::DateAdded, Contains, "May"),
              QStringLiteral("Date Added needs part of a date written as YYYY-MM-DD, not \u201CMay\u201D."));
    for (const auto& [property, condition, value] : {std::tuple {SmartRuleProperty::Year, IsGreaterThan, "1990"},
                                                     std::tuple {SmartRuleProperty::DateAdded, IsLessThan, "2024-02-29"},
                                                     std::tuple {SmartRuleProperty::DateAdded, BeginsWith, "2024-0"},
                                                     std::tuple {SmartRuleProperty::Artist, Contains, ""}})
        EXPECT_EQ(problem(property, condition, value), QString()) << value;
}

TEST(SmartCriteriaText, ReadsBackWhatItWrote)
{
    using enum SmartRuleCondition;
    const SmartRuleSet rules = any({rule(SmartRuleProperty::Genre, Contains, QStringLiteral("Rock AND Roll")),
                                    rule(SmartRuleProperty::PlayCount, IsGreaterThan, QStringLiteral("10")),
                                    rule(SmartRuleProperty::Album, BeginsWith, QString())});
    const QString text = smartCriteriaText(rules);
    EXPECT_EQ(text, QStringLiteral("Genre contains Rock AND Roll OR Play Count > 10 OR Album starts with "));
    EXPECT_EQ(parseSmartCriteria(text), rules);
    EXPECT_EQ(parseSmartCriteria(QStringLiteral("Artist contains ")), all({rule(SmartRuleProperty::Artist, Contains, QString())}));
    EXPECT_EQ(parseSmartCriteria(QStringLiteral("Year > 1990 AND Genre is Jazz")),
              all({rule(SmartRuleProperty::Year, IsGreaterThan, QStringLiteral("1990")), rule(SmartRuleProperty::Genre, IsExactly, QStringLiteral("Jazz"))}));
}

TEST(SmartCriteriaText, TextsThatAreNotRulesReadAsNone)
{
    EXPECT_FALSE(parseSmartCriteria(QString()));
    EXPECT_FALSE(parseSmartCriteria(QStringLiteral("{\"rules\":[]}")));
    EXPECT_FALSE(parseSmartCriteria(QStringLiteral("Composer is Bach")));
    // " AND " not followed by a rule is part of the value.
    EXPECT_EQ(parseSmartCriteria(QStringLiteral("Artist contains x AND tempo > 3")),
              all({rule(SmartRuleProperty::Artist, SmartRuleCondition::Contains, QStringLiteral("x AND tempo > 3"))}));
}
