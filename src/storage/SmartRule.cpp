#include "SmartRule.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace varno {

namespace {

constexpr std::array kProperties {SmartRuleProperty::Artist, SmartRuleProperty::Album,  SmartRuleProperty::Genre,     SmartRuleProperty::Year,
                                  SmartRuleProperty::Bpm,    SmartRuleProperty::Rating, SmartRuleProperty::PlayCount, SmartRuleProperty::DateAdded};
constexpr std::array kConditions {SmartRuleCondition::Contains, SmartRuleCondition::IsExactly, SmartRuleCondition::BeginsWith,
                                  SmartRuleCondition::IsGreaterThan, SmartRuleCondition::IsLessThan};

// Takes `word` and the space after it (or the end of the text) off the front
// of `rest`.
bool takeWord(QStringView& rest, const QString& word)
{
    if (!rest.startsWith(word))
        return false;
    const QStringView after = rest.mid(word.size());
    if (!after.isEmpty() && !after.startsWith(QLatin1Char(' ')))
        return false;
    rest = after.isEmpty() ? after : after.mid(1);
    return true;
}

// Takes the longest of the cases' texts that `rest` starts with, so that
// "Play Count" or "starts with" is never read as something shorter.
template<typename Case, std::size_t N>
std::optional<Case> takeLongest(QStringView& rest, const std::array<Case, N>& cases)
{
    std::optional<Case> found;
    qsizetype foundLength = -1;
    for (const Case candidate : cases) {
        const QString text = rawValue(candidate);
        QStringView trial = rest;
        if (text.size() > foundLength && takeWord(trial, text)) {
            found = candidate;
            foundLength = text.size();
        }
    }
    if (found)
        takeWord(rest, rawValue(*found));
    return found;
}

// Whether a rule's property and condition begin `text`.
bool startsWithRuleHead(QStringView text)
{
    return takeLongest(text, kProperties) && takeLongest(text, kConditions);
}

// Where `separator` stands before a rule's head in `text`, from `from` on;
// -1 when nowhere.
qsizetype nextSeparator(QStringView text, QLatin1String separator, qsizetype from)
{
    for (qsizetype at = text.indexOf(separator, from); at >= 0; at = text.indexOf(separator, at + 1)) {
        if (startsWithRuleHead(text.mid(at + separator.size())))
            return at;
    }
    return -1;
}

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

bool operator==(const SmartRuleSet& a, const SmartRuleSet& b)
{
    return a.matchAllRules == b.matchAllRules
        && std::equal(a.rules.begin(), a.rules.end(), b.rules.begin(), b.rules.end(), [](const SmartRule& x, const SmartRule& y) {
               return x.property == y.property && x.condition == y.condition && x.value == y.value;
           });
}

QString smartCriteriaText(const QList<SmartRule>& rules, bool matchAllRules)
{
    QStringList parts;
    parts.reserve(rules.size());
    for (const SmartRule& rule : rules)
        parts << rawValue(rule.property) + QLatin1Char(' ') + rawValue(rule.condition) + QLatin1Char(' ') + rule.value;
    return parts.join(matchAllRules ? QStringLiteral(" AND ") : QStringLiteral(" OR "));
}

QString smartCriteriaText(const SmartRuleSet& rules)
{
    return smartCriteriaText(rules.rules, rules.matchAllRules);
}

std::optional<SmartRule> parseSmartRule(QStringView text)
{
    SmartRule rule;
    const std::optional<SmartRuleProperty> property = takeLongest(text, kProperties);
    if (!property)
        return std::nullopt;
    const std::optional<SmartRuleCondition> condition = takeLongest(text, kConditions);
    if (!condition)
        return std::nullopt;
    rule.property = *property;
    rule.condition = *condition;
    rule.value = text.toString();
    return rule;
}

std::optional<SmartRuleSet> parseSmartCriteria(const QString& criteria)
{
    if (criteria.isEmpty())
        return std::nullopt;
    static constexpr QLatin1String kAnd(" AND ");
    static constexpr QLatin1String kOr(" OR ");
    const QStringView text(criteria);
    const qsizetype firstAnd = nextSeparator(text, kAnd, 0);
    const qsizetype firstOr = nextSeparator(text, kOr, 0);
    SmartRuleSet set;
    set.matchAllRules = firstOr < 0 || (firstAnd >= 0 && firstAnd < firstOr);
    const QLatin1String separator = set.matchAllRules ? kAnd : kOr;

    qsizetype from = 0;
    while (true) {
        const qsizetype at = nextSeparator(text, separator, from);
        const std::optional<SmartRule> rule = parseSmartRule(at < 0 ? text.mid(from) : text.mid(from, at - from));
        if (!rule)
            return std::nullopt;
        set.rules.push_back(*rule);
        if (at < 0)
            break;
        from = at + separator.size();
    }
    return set;
}

} // namespace varno
