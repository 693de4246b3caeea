#include "storage/SearchColumn.h"

#include <algorithm>
#include <cstring>

namespace varno {

namespace {

// Combining marks that put accents on Latin, Greek and Cyrillic letters. All
// lie in the basic plane, so a UTF-16 code unit can be tested directly.
bool isAccent(char16_t unit)
{
    return (unit >= 0x0300 && unit < 0x0370) || (unit >= 0x1AB0 && unit < 0x1B00)
        || (unit >= 0x1DC0 && unit < 0x1E00) || (unit >= 0x20D0 && unit < 0x2100)
        || (unit >= 0xFE20 && unit < 0xFE30);
}

// Letters whose stroke or bar is part of the letter as Unicode sees it (no
// decomposition takes it off), though a reader takes it for an accent.
// Already case-folded.
char16_t withoutStroke(char16_t unit)
{
    switch (unit) {
    case u'\u00F8': return u'o'; // ø
    case u'\u0111': return u'd'; // đ
    case u'\u0127': return u'h'; // ħ
    case u'\u0142': return u'l'; // ł
    case u'\u0167': return u't'; // ŧ
    case u'\u0180': return u'b'; // ƀ
    case u'\u01B6': return u'z'; // ƶ
    case u'\u01E5': return u'g'; // ǥ
    case u'\u023C': return u'c'; // ȼ
    case u'\u0247': return u'e'; // ɇ
    case u'\u0249': return u'j'; // ɉ
    case u'\u024D': return u'r'; // ɍ
    case u'\u024F': return u'y'; // ɏ
    case u'\u0268': return u'i'; // ɨ
    default: return unit;
    }
}

bool anyAtOrAbove(const QString& text, char16_t limit)
{
    return std::any_of(text.cbegin(), text.cend(), [limit](QChar c) { return c.unicode() >= limit; });
}

void dropAccentsAndStrokes(QString& text)
{
    qsizetype kept = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (!isAccent(unit))
            text[kept++] = QChar(withoutStroke(unit));
    }
    text.truncate(kept);
}

// The search form by the book, for any text.
QString searchKeySlow(QStringView text)
{
    QString key = text.toString().normalized(QString::NormalizationForm_D);
    dropAccentsAndStrokes(key);
    // Qt folds one character to one: "ß" stays "ß" and "ﬁ" stays "ﬁ".
    // Upper-casing first applies the one-to-many mappings, and folding that
    // gives full case folding for every character but three: "ẞ", whose
    // upper case is itself and which folds to "ß", still to be expanded;
    // "İ", which the decomposition above has already made "I" and a dot;
    // and the dotless "ı", which ends up as "i", as a search that ignores
    // marks wants anyway.
    key = std::move(key).toUpper().toCaseFolded();
    key.replace(QChar(u'\u00DF'), QLatin1String("ss"));
    // Folding does not promise to keep a text decomposed, so what it made
    // of accented letters is taken apart once more.
    if (anyAtOrAbove(key, 0xC0)) {
        key = key.normalized(QString::NormalizationForm_D);
        dropAccentsAndStrokes(key);
    }
    // The marks that are left (kana voicing, Hangul syllables taken apart
    // into letters) are put back together, so that a syllable is never
    // found by half of it.
    if (anyAtOrAbove(key, 0x300))
        key = key.normalized(QString::NormalizationForm_C);
    return key;
}

// Below this code unit lie the Latin, IPA, Greek and Cyrillic letters, where
// most tags are written. Each of them, taken alone, has a search form of at
// most two such units and no mark, and none composes with its neighbours,
// so a text made only of them is put in search form one unit at a time from
// a table, with no normalisation and no allocation.
constexpr char16_t kTableLimit = 0x530;

struct TableEntry {
    // Units of the search form; kNotInTable when the unit needs the whole
    // text looked at.
    std::uint8_t length = 0;
    std::array<char16_t, 2> units {};
};
constexpr std::uint8_t kNotInTable = 0xFF;

const std::array<TableEntry, kTableLimit>& searchFormTable()
{
    static const auto table = [] {
        std::array<TableEntry, kTableLimit> entries;
        for (char16_t unit = 0; unit < kTableLimit; ++unit) {
            const QString key = searchKeySlow(QStringView(&unit, 1));
            TableEntry& entry = entries[unit];
            const bool simple = key.size() <= 2 && std::all_of(key.cbegin(), key.cend(), [](QChar c) {
                return c.unicode() < kTableLimit && !c.isMark();
            });
            if (!simple) {
                entry.length = kNotInTable;
                continue;
            }
            entry.length = static_cast<std::uint8_t>(key.size());
            std::copy(key.utf16(), key.utf16() + key.size(), entry.units.begin());
        }
        return entries;
    }();
    return table;
}

// Writes the search form of `text` to `out`, which has room for twice its
// units, and returns how many were written; or returns -1 when the text has
// a unit outside the table, leaving `out` in an unspecified state.
qsizetype searchFormByTable(QStringView text, char16_t* out)
{
    const std::array<TableEntry, kTableLimit>* table = nullptr;
    char16_t* const begin = out;
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit < 0x80) {
            *out++ = static_cast<unsigned>(unit - u'A') < 26u ? static_cast<char16_t>(unit + (u'a' - u'A')) : unit;
            continue;
        }
        if (unit >= kTableLimit)
            return -1;
        if (!table)
            table = &searchFormTable();
        const TableEntry& entry = (*table)[unit];
        if (entry.length == kNotInTable)
            return -1;
        for (std::uint8_t i = 0; i < entry.length; ++i)
            *out++ = entry.units[i];
    }
    return out - begin;
}

} // namespace

QString searchKey(QStringView text)
{
    QString key(text.size() * 2, Qt::Uninitialized);
    const qsizetype length = searchFormByTable(text, reinterpret_cast<char16_t*>(key.data()));
    if (length < 0)
        return searchKeySlow(text);
    key.truncate(length);
    return key;
}

bool codePointLess(QStringView a, QStringView b)
{
    const auto [atA, atB] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (atB == b.end())
        return false;
    if (atA == a.end())
        return true;
    // Moves surrogates (U+D800..U+DFFF, the halves of characters above
    // U+FFFF) above U+E000..U+FFFF; code units elsewhere keep their order.
    const auto rank = [](char16_t c) -> char16_t {
        if (c < 0xD800)
            return c;
        return c >= 0xE000 ? static_cast<char16_t>(c - 0x800) : static_cast<char16_t>(c + 0x2000);
    };
    return rank(atA->unicode()) < rank(atB->unicode());
}

void SearchColumn::reserve(std::size_t texts, std::size_t codeUnits)
{
    m_ends.reserve(texts);
    m_text.reserve(codeUnits);
}

void SearchColumn::append(QStringView text)
{
    const std::size_t from = m_text.size();
    m_text.resize(from + 2 * static_cast<std::size_t>(text.size()));
    const qsizetype length = searchFormByTable(text, m_text.data() + from);
    if (length >= 0) {
        m_text.resize(from + static_cast<std::size_t>(length));
    } else {
        const QString key = searchKeySlow(text);
        m_text.resize(from);
        m_text.insert(m_text.end(), key.utf16(), key.utf16() + key.size());
    }
    for (std::size_t i = from; i < m_text.size(); ++i)
        ++m_counts[m_text[i] & 0xFFF];
    m_ends.push_back(static_cast<std::uint32_t>(m_text.size()));
}

std::size_t SearchColumnView::anchorOf(QStringView key) const
{
    std::size_t anchor = 0;
    for (std::size_t i = 1; i < static_cast<std::size_t>(key.size()); ++i) {
        if (counts[key[i].unicode() & 0xFFF] < counts[key[anchor].unicode() & 0xFFF])
            anchor = i;
    }
    return anchor;
}

void SearchColumnView::findContaining(QStringView key, std::vector<std::uint32_t>& found) const
{
    Q_ASSERT(!key.isEmpty());
    if (ends.empty())
        return;
    const QStringView whole(text.data(), static_cast<qsizetype>(text.size()));
    const auto length = static_cast<std::size_t>(key.size());
    const std::size_t anchor = anchorOf(key);
    const QChar anchorUnit = key[static_cast<qsizetype>(anchor)];

    std::size_t item = 0;
    std::size_t from = anchor;
    while (from < text.size()) {
        const qsizetype at = whole.indexOf(anchorUnit, static_cast<qsizetype>(from));
        if (at < 0)
            break;
        const std::size_t start = static_cast<std::size_t>(at) - anchor;
        // The last end is the buffer's size, and start lies inside it.
        while (ends[item] <= start)
            ++item;
        const std::size_t end = ends[item];
        if (start + length <= end
            && std::memcmp(text.data() + start, key.utf16(), length * sizeof(char16_t)) == 0) {
            found.push_back(static_cast<std::uint32_t>(item));
            if (++item == ends.size())
                break;
            from = end + anchor;
        } else if (start + length > end) {
            // Every later start in this text would run past its end too.
            from = end + anchor;
        } else {
            from = static_cast<std::size_t>(at) + 1;
        }
    }
}

} // namespace varno
