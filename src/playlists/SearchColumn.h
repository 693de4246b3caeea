#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace varno {

// The form in which search compares texts: canonically composed (NFC), then
// case-folded. Letter case stops mattering while accents still count, and a
// decomposed "é" equals a precomposed one.
QString searchKey(QStringView text);

// Plain code-point order. QString's operator< compares UTF-16 code units,
// which puts characters above U+FFFF (stored as surrogates) before
// U+E000..U+FFFF.
bool codePointLess(QStringView a, QStringView b);

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

    // Appends to `found`, ascending, the position of every text that
    // contains `key`, a non-empty text already in search form.
    void findContaining(QStringView key, std::vector<std::uint32_t>& found) const;

private:
    // Which of the key's code units to scan for: the one rarest in this
    // column, so that fewer places have to be compared in full.
    std::size_t anchorOf(QStringView key) const;

    std::vector<char16_t> m_text;
    // Where each text ends in m_text; each begins where the one before ends.
    std::vector<std::uint32_t> m_ends;
    // How often code units occur, by their low 12 bits: rough, but a guide
    // to rarity is all the anchor needs.
    std::array<std::uint32_t, 4096> m_counts {};
};

} // namespace varno
