#pragma once

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>
#include <span>

namespace varno {

// The song property a smart-playlist rule looks at; the raw value is the
// text shown for it.
enum class SmartRuleProperty { Artist, Album, Genre, Year, Bpm, Rating, PlayCount, DateAdded };

enum class SmartRuleCondition { Contains, IsExactly, BeginsWith, IsGreaterThan, IsLessThan };

// Every case, in the order the pickers list them.
std::span<const SmartRuleProperty> allSmartRuleProperties();
std::span<const SmartRuleCondition> allSmartRuleConditions();

QString rawValue(SmartRuleProperty property);
QString rawValue(SmartRuleCondition condition);
// Absent for a text that names no case.
std::optional<SmartRuleProperty> smartRulePropertyFromRawValue(const QString& text);
std::optional<SmartRuleCondition> smartRuleConditionFromRawValue(const QString& text);

// One rule as the user assembled it; the value is kept exactly as typed.
// The id tells the sheet's rows apart and is never stored.
struct SmartRule {
    QUuid id = QUuid::createUuid();
    SmartRuleProperty property = SmartRuleProperty::Artist;
    SmartRuleCondition condition = SmartRuleCondition::Contains;
    QString value;

    friend bool operator==(const SmartRule&, const SmartRule&) = default;
};

// What a smart playlist holds: its rules and whether a song must match all
// of them or any one. Two sets are equal when their rules say the same, in
// the same order, whatever ids the rules were given.
struct SmartRuleSet {
    bool matchAllRules = true;
    QList<SmartRule> rules;

    friend bool operator==(const SmartRuleSet& a, const SmartRuleSet& b);
};

// The stored, readable form of a rule set: "Artist contains X AND Year > 1990".
// Nothing is quoted or escaped; an empty value leaves the rule ending in a
// space, and no rules give an empty text.
QString smartCriteriaText(const QList<SmartRule>& rules, bool matchAllRules);
QString smartCriteriaText(const SmartRuleSet& rules);

// One rule's text, "Play Count > 10", read back: the longest property and
// condition texts that fit, each followed by a space (or the end), and the
// rest as the value.
std::optional<SmartRule> parseSmartRule(QStringView text);

// Reads back a criteria text written by smartCriteriaText(), for playlists
// stored before their rules were kept as data. Since nothing was escaped,
// " AND " or " OR " count as a separator only where a rule's property and
// condition follow them, and the first such separator says which of the two
// joins the text. Absent for a text that is not made of rules, and for an
// empty one, whose playlist may hold songs added by hand.
std::optional<SmartRuleSet> parseSmartCriteria(const QString& criteria);

} // namespace varno
