#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace varno {

// A song's location as the state files keep it: absolute URL text with
// percent-escapes. Kept as that text, so loading a library never parses a URL
// and a stored URL is written back exactly as it was read. Equality compares
// the text, as URL equality does.
class FileURL {
public:
    FileURL() = default;

    // The file URL of an absolute local path; spaces, '#', '%', '?' and
    // non-ASCII letters are percent-escaped.
    static FileURL fromLocalFile(const QString& path);

    // Stored URL text. Absent unless it starts with a scheme ("file:",
    // "https:"). Text that other writers left with raw spaces or non-ASCII
    // letters is escaped on the way in.
    static std::optional<FileURL> fromEncoded(QByteArrayView text);

    const QByteArray& encoded() const { return m_encoded; }
    bool isEmpty() const { return m_encoded.isEmpty(); }
    bool isLocalFile() const;

    // The local path (escapes decoded); empty for URLs of other schemes.
    QString toLocalFile() const;
    QUrl toQUrl() const;

    friend bool operator==(const FileURL&, const FileURL&) = default;

private:
    explicit FileURL(QByteArray encoded)
        : m_encoded(std::move(encoded))
    {
    }

    QByteArray m_encoded;
};

size_t qHash(const FileURL& url, size_t seed = 0) noexcept;

} // namespace varno
