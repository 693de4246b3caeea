#include "SmartRuleMatcher.h"

#include "playlists/PlaylistError.h"
#include "storage/SearchColumn.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <optional>

namespace varno {

namespace {

enum class ValueKind { Text, Number, Date };

ValueKind kindOf(SmartRuleProperty property)
{
    switch (property) {
    case SmartRuleProperty::Artist:
    case SmartRuleProperty::Album:
    case SmartRuleProperty::Genre: return ValueKind::Text;
    case SmartRuleProperty::Year:
    case SmartRuleProperty::Bpm:
    case SmartRuleProperty::Rating:
    case SmartRuleProperty::PlayCount: return ValueKind::Number;
    case SmartRuleProperty::DateAdded: return ValueKind::Date;
    }
    Q_UNREACHABLE();
}

bool looksAtText(SmartRuleCondition condition)
{
    return condition == SmartRuleCondition::Contains || condition == SmartRuleCondition::BeginsWith;
}

std::optional<std::int64_t> wholeNumber(const QString& value)
{
    bool ok = false;
    const std::int64_t number = value.trimmed().toLongLong(&ok);
    return ok ? std::optional(number) : std::nullopt;
}

std::optional<QDate> fullDate(const QString& value)
{
    const QString text = value.trimmed();
    // QDate's ISO reading takes a few forms beyond this one; the message
    // promises exactly YYYY-MM-DD.
    if (text.size() != 10)
        return std::nullopt;
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    return date.isValid() ? std::optional(date) : std::nullopt;
}

bool isPartOfDate(const QString& value)
{
    const QString text = value.trimmed();
    return !text.isEmpty() && text.size() <= 10
        && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isDigit() || c == QLatin1Char('-'); });
}

// Where in a song the property lies, to ask for it ahead of time.
const void* fieldOf(const Track& song, SmartRuleProperty property)
{
    switch (property) {
    case SmartRuleProperty::Artist: return &song.artist;
    case SmartRuleProperty::Album: return &song.album;
    case SmartRuleProperty::Genre: return &song.genre;
    case SmartRuleProperty::Year: return &song.year;
    case SmartRuleProperty::Bpm: return &song.bpm;
    case SmartRuleProperty::Rating: return &song.rating;
    case SmartRuleProperty::PlayCount: return &song.id;
    case SmartRuleProperty::DateAdded: return &song.dateAdded;
    }
    Q_UNREACHABLE();
}

bool compareTexts(SmartRuleCondition condition, const QString& text, const QString& key)
{
    switch (condition) {
    case SmartRuleCondition::Contains: return text.contains(key);
    case SmartRuleCondition::IsExactly: return text == key;
    case SmartRuleCondition::BeginsWith: return text.startsWith(key);
    case SmartRuleCondition::IsGreaterThan: return codePointLess(key, text);
    case SmartRuleCondition::IsLessThan: return codePointLess(text, key);
    }
    Q_UNREACHABLE();
}

double secondsAtStartOf(const QDate& day)
{
    return Timestamp::fromDateTime(QDateTime(day, QTime(0, 0), Qt::LocalTime)).secondsSinceReferenceDate;
}

// What a rule found for each distinct value it was asked about: an
// open-addressing table from a 64-bit key to a result. A lookup is a
// multiplication and, nearly always, one probe; a library has a few
// thousand distinct tags against a hundred thousand songs.
class Results {
public:
    // The result stored under `key`, or absent; remembers where to add().
    std::optional<bool> find(std::uint64_t key)
    {
        m_at = (key * 0x9E3779B97F4A7C15ull) >> (64 - m_bits);
        while (m_slots[m_at].used) {
            if (m_slots[m_at].key == key)
                return m_slots[m_at].result;
            m_at = (m_at + 1) & (m_slots.size() - 1);
        }
        return std::nullopt;
    }

    // Stores `result` where the last find() stopped.
    void add(std::uint64_t key, bool result)
    {
        m_slots[m_at] = {key, true, result};
        if (++m_count * 2 > m_slots.size())
            grow();
    }

private:
    struct Slot {
        std::uint64_t key = 0;
        bool used = false;
        bool result = false;
    };

    void grow()
    {
        std::vector<Slot> old(std::size_t(1) << ++m_bits);
        old.swap(m_slots);
        for (const Slot& slot : old) {
            if (!slot.used)
                continue;
            find(slot.key);
            m_slots[m_at] = slot;
        }
    }

    int m_bits = 8;
    std::vector<Slot> m_slots = std::vector<Slot>(std::size_t(1) << 8);
    std::size_t m_count = 0;
    std::size_t m_at = 0;
};

// The local days songs were added on, each as the span of seconds it
// covers, so that a song's day is found among those met before without
// converting its time. Songs added over years still fall on a few thousand
// days.
class LocalDays {
public:
    struct Day {
        double end = 0;
        QString text;
    };

    // The day `seconds` falls on, written as YYYY-MM-DD.
    const QString& textOf(double seconds)
    {
        auto after = m_days.upper_bound(seconds);
        if (after != m_days.begin()) {
            const auto day = std::prev(after);
            if (seconds < day->second.end)
                return day->second.text;
        }
        const QDate date = Timestamp::fromSecondsSinceReferenceDate(seconds).toDateTime().toLocalTime().date();
        const double start = Timestamp::fromDateTime(QDateTime(date, QTime(0, 0), Qt::LocalTime)).secondsSinceReferenceDate;
        const double end = Timestamp::fromDateTime(QDateTime(date.addDays(1), QTime(0, 0), Qt::LocalTime)).secondsSinceReferenceDate;
        // A day the clocks skipped into cannot be told by its span; it is
        // converted each time.
        if (!(start <= seconds && seconds < end)) {
            m_odd = date.toString(Qt::ISODate);
            return m_odd;
        }
        return m_days.insert_or_assign(start, Day {end, date.toString(Qt::ISODate)}).first->second.text;
    }

private:
    std::map<double, Day> m_days;
    QString m_odd;
};

} // namespace

void validateSmartRule(const SmartRule& rule)
{
    switch (kindOf(rule.property)) {
    case ValueKind::Text: return;
    case ValueKind::Number:
        if (!wholeNumber(rule.value))
            throw PlaylistError::ruleNeedsNumber(rawValue(rule.property), rule.value);
        return;
    case ValueKind::Date:
        if (looksAtText(rule.condition) ? !isPartOfDate(rule.value) : !fullDate(rule.value))
            throw PlaylistError::ruleNeedsDate(rawValue(rule.property), rule.value, looksAtText(rule.condition));
        return;
    }
}

void validateSmartRules(const SmartRuleSet& rules)
{
    for (const SmartRule& rule : rules.rules)
        validateSmartRule(rule);
}

struct SmartRuleMatcher::Rule {
    SmartRuleProperty property;
    SmartRuleCondition condition;
    ValueKind kind;
    bool valid = true;
    // Text rules, and number and date rules that look at digits: the value
    // in the form it is compared in.
    QString key;
    std::int64_t number = 0;
    // Date rules: the chosen day, from its first second to the next day's.
    double dayStart = 0;
    double dayEnd = 0;
    // What a song without the field gets.
    bool whenAbsent = false;
    // Results by tag text (its address and length: tags read from the
    // library share their texts), or by number.
    Results known;
    LocalDays days;

    explicit Rule(const SmartRule& rule)
        : property(rule.property)
        , condition(rule.condition)
        , kind(kindOf(rule.property))
    {
        try {
            validateSmartRule(rule);
        } catch (const PlaylistError&) {
            valid = false;
            return;
        }
        switch (kind) {
        case ValueKind::Text:
            key = searchKey(rule.value);
            whenAbsent = compareTexts(condition, QString(), key);
            break;
        case ValueKind::Number:
            number = *wholeNumber(rule.value);
            key = QString::number(number);
            break;
        case ValueKind::Date:
            if (looksAtText(condition)) {
                key = rule.value.trimmed();
            } else {
                const QDate day = *fullDate(rule.value);
                dayStart = secondsAtStartOf(day);
                dayEnd = secondsAtStartOf(day.addDays(1));
            }
            break;
        }
    }

    bool matchesText(const std::optional<QString>& field)
    {
        if (!field)
            return whenAbsent;
        const auto size = static_cast<std::uint64_t>(field->size());
        if (size >= (1u << 16))
            return compareTexts(condition, searchKey(*field), key);
        const std::uint64_t at = reinterpret_cast<std::uintptr_t>(field->constData()) | size << 48;
        if (const std::optional<bool> found = known.find(at))
            return *found;
        const bool result = compareTexts(condition, searchKey(*field), key);
        known.add(at, result);
        return result;
    }

    bool matchesNumber(std::optional<std::int64_t> field)
    {
        if (!field)
            return false;
        switch (condition) {
        case SmartRuleCondition::IsExactly: return *field == number;
        case SmartRuleCondition::IsGreaterThan: return *field > number;
        case SmartRuleCondition::IsLessThan: return *field < number;
        case SmartRuleCondition::Contains:
        case SmartRuleCondition::BeginsWith: break;
        }
        const auto at = static_cast<std::uint64_t>(*field);
        if (const std::optional<bool> found = known.find(at))
            return *found;
        const bool result = compareTexts(condition, QString::number(*field), key);
        known.add(at, result);
        return result;
    }

    bool matchesDate(const std::optional<Timestamp>& added)
    {
        if (!added)
            return false;
        const double seconds = added->secondsSinceReferenceDate;
        switch (condition) {
        case SmartRuleCondition::IsExactly: return seconds >= dayStart && seconds < dayEnd;
        case SmartRuleCondition::IsGreaterThan: return seconds >= dayEnd;
        case SmartRuleCondition::IsLessThan: return seconds < dayStart;
        case SmartRuleCondition::Contains:
        case SmartRuleCondition::BeginsWith: break;
        }
        return compareTexts(condition, days.textOf(seconds), key);
    }

    bool matches(const Track& song, const PlayCounts& playCounts)
    {
        if (!valid)
            return false;
        switch (property) {
        case SmartRuleProperty::Artist: return matchesText(song.artist);
        case SmartRuleProperty::Album: return matchesText(song.album);
        case SmartRuleProperty::Genre: return matchesText(song.genre);
        case SmartRuleProperty::Year: return matchesNumber(song.year);
        case SmartRuleProperty::Bpm: return matchesNumber(song.bpm);
        case SmartRuleProperty::Rating: return matchesNumber(song.rating);
        case SmartRuleProperty::PlayCount: return matchesNumber(playCounts.value(song.id, 0));
        case SmartRuleProperty::DateAdded: return matchesDate(song.dateAdded);
        }
        Q_UNREACHABLE();
    }
};

SmartRuleMatcher::SmartRuleMatcher(const SmartRuleSet& rules)
    : m_matchAll(rules.matchAllRules)
{
    m_rules.reserve(static_cast<std::size_t>(rules.rules.size()));
    for (const SmartRule& rule : rules.rules) {
        m_rules.emplace_back(rule);
        if (std::find(m_fields.begin(), m_fields.end(), rule.property) == m_fields.end())
            m_fields.push_back(rule.property);
    }
}

SmartRuleMatcher::~SmartRuleMatcher() = default;
SmartRuleMatcher::SmartRuleMatcher(SmartRuleMatcher&&) noexcept = default;
SmartRuleMatcher& SmartRuleMatcher::operator=(SmartRuleMatcher&&) noexcept = default;

bool SmartRuleMatcher::needsPlayCounts() const
{
    return std::any_of(m_rules.begin(), m_rules.end(), [](const Rule& rule) { return rule.property == SmartRuleProperty::PlayCount; });
}

bool SmartRuleMatcher::matches(const Track& song, const PlayCounts& playCounts)
{
    if (m_rules.empty())
        return false;
    for (Rule& rule : m_rules) {
        if (rule.matches(song, playCounts) != m_matchAll)
            return !m_matchAll;
    }
    return m_matchAll;
}

TrackList SmartRuleMatcher::matchingSongs(const TrackList& library, const PlayCounts& playCounts)
{
    if (m_rules.empty())
        return {};
    const auto list = std::make_shared<const TrackList>(library);
    const std::size_t count = list->size();
    QList<SharedTrack> songs;
    for (std::size_t i = 0; i < count; ++i) {
        // Songs lie wherever they were allocated, and a song's fields span
        // several cache lines: asking for the fields the rules read a few
        // songs ahead hides most of the wait for them.
        if (i + 8 < count) {
            const Track& ahead = *list->shared(i + 8);
            for (const SmartRuleProperty field : m_fields)
                __builtin_prefetch(fieldOf(ahead, field));
        }
        const Track& song = (*list)[i];
        if (matches(song, playCounts))
            songs.emplaceBack(list, &song);
    }
    return TrackList(std::move(songs));
}

} // namespace varno
