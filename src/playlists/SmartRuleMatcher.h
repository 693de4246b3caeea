#pragma once

#include "storage/SmartRule.h"
#include "storage/TrackList.h"

#include <QHash>
#include <QUuid>

#include <vector>

#include <cstdint>
#include <vector>

namespace varno {

// How often each song was played, by song id; a song not in it never was.
using PlayCounts = QHash<QUuid, std::int64_t>;

// Throws PlaylistError when a rule's value does not fit its property: a
// whole number for Year, BPM, Rating and Play Count ("Rating > abc" is
// refused), a date written as YYYY-MM-DD for Date Added (part of one for
// "contains" and "starts with"). Texts take any value, the empty one too.
void validateSmartRule(const SmartRule& rule);
void validateSmartRules(const SmartRuleSet& rules);

// A rule set made ready to test songs, and the test.
//
// - Artist, Album and Genre compare as search does, ignoring case and
//   accents: "contains", "is", "starts with", and ">" and "<" for after and
//   before in code-point order. A song without the field has an empty one.
// - Year, BPM, Rating and Play Count compare as whole numbers; "contains"
//   and "starts with" look at their digits. A song without a year or a BPM
//   matches no rule about it.
// - Date Added is the day, in local time, the song came into the library:
//   "is" that day, ">" after it, "<" before it; "contains" and "starts
//   with" look at the day written as YYYY-MM-DD.
//
// A rule whose value does not fit (a hand-edited file) matches no song, and
// a set without rules matches none either.
//
// Any thread, one at a time: testing remembers what it found for each
// distinct tag text (by where the text lies, so the songs tested must stay
// alive while the matcher is used: one matcher per pass), and each local
// day songs were added on.
class SmartRuleMatcher {
public:
    explicit SmartRuleMatcher(const SmartRuleSet& rules);
    ~SmartRuleMatcher();
    SmartRuleMatcher(SmartRuleMatcher&&) noexcept;
    SmartRuleMatcher& operator=(SmartRuleMatcher&&) noexcept;

    // Whether a rule looks at play counts, which then have to be read.
    bool needsPlayCounts() const;

    bool matches(const Track& song, const PlayCounts& playCounts);

    // The songs of `library` that match, in library order. They share the
    // reference count of `library`'s list rather than each its own, as
    // search results do: copying them writes one count, not one per song.
    TrackList matchingSongs(const TrackList& library, const PlayCounts& playCounts);

private:
    struct Rule;

    bool m_matchAll = true;
    std::vector<Rule> m_rules;
    // The properties the rules read, each once.
    std::vector<SmartRuleProperty> m_fields;
};

} // namespace varno
