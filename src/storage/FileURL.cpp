#include "FileURL.h"

#include <QHashFunctions>

namespace varno {

namespace {

bool isSchemeStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isSchemeChar(char c)
{
    return isSchemeStart(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// Characters that may stand unescaped in URL text (RFC 3986 unreserved,
// reserved and '%'). Anything else was left raw by a sloppy writer.
bool isUrlChar(char c)
{
    if (isSchemeChar(c) || c == '_' || c == '~' || c == '%')
        return true;
    switch (c) {
    case ':': case '/': case '?': case '#': case '[': case ']': case '@': case '!': case '$':
    case '&': case '\'': case '(': case ')': case '*': case ',': case ';': case '=':
        return true;
    default:
        return false;
    }
}

} // namespace

namespace {

// Bytes a path keeps unescaped: the same set QUrl leaves alone in a fully
// encoded file URL, so both produce the same text for the same path.
bool keptInPath(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!': case '$': case '&': case '\'': case '(': case ')': case '*': case '+': case ',': case '-':
    case '.': case '/': case ':': case ';': case '=': case '@': case '[': case ']': case '_': case '~':
        return true;
    default:
        return false;
    }
}

} // namespace

FileURL FileURL::fromLocalFile(const QString& path)
{
    // Building the text directly is several times faster than a QUrl round
    // trip, and imports make one URL per file. Paths QUrl treats specially
    // (relative ones, "//host/share") still go through it.
    if (!path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1String("//")))
        return FileURL(QUrl::fromLocalFile(path).toEncoded(QUrl::FullyEncoded));
    static constexpr char kHex[] = "0123456789ABCDEF";
    const QByteArray utf8 = path.toUtf8();
    QByteArray encoded;
    encoded.reserve(7 + utf8.size() + utf8.size() / 4);
    encoded.append("file://");
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (keptInPath(byte)) {
            encoded.append(c);
        } else {
            encoded.append('%');
            encoded.append(kHex[byte >> 4]);
            encoded.append(kHex[byte & 0xF]);
        }
    }
    return FileURL(std::move(encoded));
}

std::optional<FileURL> FileURL::fromEncoded(QByteArrayView text)
{
    const qsizetype colon = text.indexOf(':');
    if (colon <= 0 || !isSchemeStart(text[0]))
        return std::nullopt;
    for (qsizetype i = 1; i < colon; ++i) {
        if (!isSchemeChar(text[i]))
            return std::nullopt;
    }
    for (const char c : text) {
        if (!isUrlChar(c)) {
            const QUrl url(QString::fromUtf8(text), QUrl::TolerantMode);
            if (!url.isValid())
                return std::nullopt;
            return FileURL(url.toEncoded(QUrl::FullyEncoded));
        }
    }
    return FileURL(text.toByteArray());
}

bool FileURL::isLocalFile() const
{
    return m_encoded.startsWith("file:");
}

QString FileURL::toLocalFile() const
{
    // A plain local URL ("file:///…" with neither query nor fragment) is just
    // its escaped path: decoding it directly is far cheaper than a QUrl parse,
    // and every file read goes through here. Anything else takes the long way.
    if (m_encoded.startsWith("file:///") && !m_encoded.contains('?') && !m_encoded.contains('#'))
        return QString::fromUtf8(QByteArray::fromPercentEncoding(QByteArrayView(m_encoded).sliced(7).toByteArray()));
    return toQUrl().toLocalFile();
}

QUrl FileURL::toQUrl() const
{
    return QUrl::fromEncoded(m_encoded, QUrl::StrictMode);
}

size_t qHash(const FileURL& url, size_t seed) noexcept
{
    return ::qHash(url.encoded(), seed);
}

} // namespace varno
