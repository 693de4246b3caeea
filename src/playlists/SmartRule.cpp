#include "SmartRule.h"

#include <array>

namespace varno {

namespace {

constexpr std::array kProperties {SmartRuleProperty::Artist, SmartRuleProperty::Album,  SmartRuleProperty::Genre,     SmartRuleProperty::Year,
                                  SmartRuleProperty::Bpm,    SmartRuleProperty::Rating, SmartRuleProperty::PlayCount, SmartRuleProperty::DateAdded};
constexpr std::array kConditions {SmartRuleCondition::Contains, SmartRuleCondition::IsExactly, SmartRuleCondition::BeginsWith,
                                  SmartRuleCondition::IsGreaterThan, SmartRuleCondition::IsLessThan};

} // namespace

std::span<const SmartRuleProperty> allSmartRuleProperties()
{
    return kProperties;
}

std::span<const SmartRuleCondition> allSmartRuleConditions()
{
    return kConditions;
}

QString rawValue(SmartRuleProperty property)
{
    switch (property) {
    case SmartRuleProperty::Artist: return QStringLiteral("Artist");
    case SmartRuleProperty::Album: return QStringLiteral("Album");
    case SmartRuleProperty::Genre: return QStringLiteral("Genre");
    case SmartRuleProperty::Year: return QStringLiteral("Year");
    case SmartRuleProperty::Bpm: return QStringLiteral("BPM");
    case SmartRuleProperty::Rating: return QStringLiteral("Rating");
    case SmartRuleProperty::PlayCount: return QStringLiteral("Play Count");
    case SmartRuleProperty::DateAdded: return QStringLiteral("Date Added");
    }
    Q_UNREACHABLE();
}

QString rawValue(SmartRuleCondition condition)
{
    switch (condition) {
    case SmartRuleCondition::Contains: return QStringLiteral("contains");
    case SmartRuleCondition::IsExactly: return QStringLiteral("is");
    case SmartRuleCondition::BeginsWith: return QStringLiteral("starts with");
    case SmartRuleCondition::IsGreaterThan: return QStringLiteral(">");
    case SmartRuleCondition::IsLessThan: return QStringLiteral("<");
    }
    Q_UNREACHABLE();
}

std::optional<SmartRuleProperty> smartRulePropertyFromRawValue(const QString& text)
{
    for (const SmartRuleProperty property : kProperties) {
        if (rawValue(property) == text)
            return property;
    }
    return std::nullopt;
}

std::optional<SmartRuleCondition> smartRuleConditionFromRawValue(const QString& text)
{
    for (const SmartRuleCondition condition : kConditions) {
        if (rawValue(condition) == text)
            return condition;
    }
    return std::nullopt;
}

QString smartCriteriaText(const QList<SmartRule>& rules, bool matchAllRules)
{
    QStringList parts;
    parts.reserve(rules.size());
    for (const SmartRule& rule : rules)
        parts << rawValue(rule.property) + QLatin1Char(' ') + rawValue(rule.condition) + QLatin1Char(' ') + rule.value;
    return parts.join(matchAllRules ? QStringLiteral(" AND ") : QStringLiteral(" OR "));
}

} // namespace varno
