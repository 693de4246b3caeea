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
struct SmartRule {
    QUuid id = QUuid::createUuid();
    SmartRuleProperty property = SmartRuleProperty::Artist;
    SmartRuleCondition condition = SmartRuleCondition::Contains;
    QString value;

    friend bool operator==(const SmartRule&, const SmartRule&) = default;
};

// The stored, readable form of a rule set: "Artist contains X AND Year > 1990".
// Nothing is quoted or escaped and nothing reads it back; an empty value
// leaves the rule ending in a space, and no rules give an empty text.
QString smartCriteriaText(const QList<SmartRule>& rules, bool matchAllRules);

} // namespace varno
