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

FileURL FileURL::fromLocalFile(const QString& path)
{
    return FileURL(QUrl::fromLocalFile(path).toEncoded(QUrl::FullyEncoded));
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
