#include "playlists/SearchColumn.h"

#include <algorithm>
#include <cstring>

namespace varno {

namespace {

// Below U+0300 no character combines with the one before it, none changes
// under NFC, and folding stays in the same range but for a handful (µ folds
// to a Greek letter). Such texts, which cover most Latin-script tags, are
// folded one code unit at a time into `out` (text.size() units), with no
// normalisation and no allocation; for any other text this returns false.
bool foldLatin(QStringView text, char16_t* out)
{
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit < 0x80) {
            *out++ = static_cast<unsigned>(unit - u'A') < 26u ? static_cast<char16_t>(unit + (u'a' - u'A')) : unit;
            continue;
        }
        if (unit >= 0x300)
            return false;
        const char32_t folded = QChar::toCaseFolded(char32_t(unit));
        if (folded >= 0x300)
            return false;
        *out++ = static_cast<char16_t>(folded);
    }
    return true;
}

bool mayNeedComposing(const QString& text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x300; });
}

} // namespace

QString searchKey(QStringView text)
{
    QString key(text.size(), Qt::Uninitialized);
    if (foldLatin(text, reinterpret_cast<char16_t*>(key.data())))
        return key;
    key = text.toString();
    if (mayNeedComposing(key))
        key = key.normalized(QString::NormalizationForm_C);
    key = std::move(key).toCaseFolded();
    // Unicode does not promise that folding keeps a text composed (its own
    // caseless matching works on decomposed text for that reason), so the
    // rare text that may have changed is composed again.
    if (mayNeedComposing(key))
        key = key.normalized(QString::NormalizationForm_C);
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
    m_text.resize(from + static_cast<std::size_t>(text.size()));
    if (!foldLatin(text, m_text.data() + from)) {
        const QString key = searchKey(text);
        m_text.resize(from);
        m_text.insert(m_text.end(), key.utf16(), key.utf16() + key.size());
    }
    for (std::size_t i = from; i < m_text.size(); ++i)
        ++m_counts[m_text[i] & 0xFFF];
    m_ends.push_back(static_cast<std::uint32_t>(m_text.size()));
}

std::size_t SearchColumn::anchorOf(QStringView key) const
{
    std::size_t anchor = 0;
    for (std::size_t i = 1; i < static_cast<std::size_t>(key.size()); ++i) {
        if (m_counts[key[i].unicode() & 0xFFF] < m_counts[key[anchor].unicode() & 0xFFF])
            anchor = i;
    }
    return anchor;
}

void SearchColumn::findContaining(QStringView key, std::vector<std::uint32_t>& found) const
{
    Q_ASSERT(!key.isEmpty());
    if (m_ends.empty())
        return;
    const QStringView text(m_text.data(), static_cast<qsizetype>(m_text.size()));
    const auto length = static_cast<std::size_t>(key.size());
    const std::size_t anchor = anchorOf(key);
    const QChar anchorUnit = key[static_cast<qsizetype>(anchor)];

    std::size_t item = 0;
    std::size_t from = anchor;
    while (from < m_text.size()) {
        const qsizetype at = text.indexOf(anchorUnit, static_cast<qsizetype>(from));
        if (at < 0)
            break;
        const std::size_t start = static_cast<std::size_t>(at) - anchor;
        // The last end is the buffer's size, and start lies inside it.
        while (m_ends[item] <= start)
            ++item;
        const std::size_t end = m_ends[item];
        if (start + length <= end
            && std::memcmp(m_text.data() + start, key.utf16(), length * sizeof(char16_t)) == 0) {
            found.push_back(static_cast<std::uint32_t>(item));
            if (++item == m_ends.size())
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
