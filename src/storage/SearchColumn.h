#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace varno {

// The form in which search compares texts: without the accents of the
// Latin, Greek and Cyrillic scripts (marks of other scripts, such as the
// kana's voicing marks, stay: there they make another letter), then fully
// case-folded and composed again. So "bjorn" finds "Björn", "strasse"
// finds "Straße", a decomposed "é" equals a precomposed one, and "soren"
// finds "Søren", since a stroke through a letter counts as an accent here.
// A text of accents alone has an empty search form.
QString searchKey(QStringView text);

// Plain code-point order. QString's operator< compares UTF-16 code units,
// which puts characters above U+FFFF (stored as surrogates) before
// U+E000..U+FFFF.
bool codePointLess(QStringView a, QStringView b);

// How often code units occur in a column, by their low 12 bits: rough, but a
// guide to rarity is all a search's anchor needs.
inline constexpr std::size_t kSearchUnitClasses = 4096;

// A column's texts wherever they lie: in a SearchColumn, or in a file mapped
// from disk that stored one.
struct SearchColumnView {
    // The texts in search form, back to back.
    std::span<const char16_t> text;
    // Where each text ends in `text`; each begins where the one before ends.
    std::span<const std::uint32_t> ends;
    std::span<const std::uint32_t, kSearchUnitClasses> counts;

    // Appends to `found`, ascending, the position of every text that
    // contains `key`, a non-empty text already in search form.
    void findContaining(QStringView key, std::vector<std::uint32_t>& found) const;

private:
    // Which of the key's code units to scan for: the one rarest in the
    // column, so that fewer places have to be compared in full.
    std::size_t anchorOf(QStringView key) const;
};

// Many texts in their search form, kept back to back in one buffer, for
// finding the ones that contain a key. Scanning one long buffer for a single
// code unit runs at vector speed, whereas a substring search per text pays
// its set-up cost a hundred thousand times per query.
//
// Immutable once filled; a filled column may be read on any thread.
class SearchColumn {
public:
    void reserve(std::size_t texts, std::size_t codeUnits);
    // Adds `text` in its search form.
    void append(QStringView text);

    std::size_t size() const { return m_ends.size(); }

    SearchColumnView view() const { return {m_text, m_ends, m_counts}; }
    void findContaining(QStringView key, std::vector<std::uint32_t>& found) const { view().findContaining(key, found); }

private:
    std::vector<char16_t> m_text;
    std::vector<std::uint32_t> m_ends;
    std::array<std::uint32_t, kSearchUnitClasses> m_counts {};
};

} // namespace varno
