#include "HiddenCovers.h"

#include "platform/Error.h"
#include "platform/FileLock.h"
#include "storage/Json.h"

#include <QLoggingCategory>

#include <algorithm>

namespace varno {

// Defined with the artwork cache: one category for everything about covers.
Q_DECLARE_LOGGING_CATEGORY(lcArtwork)

HiddenCovers::HiddenCovers(QString path, QString lockPath)
    : m_path(std::move(path))
    , m_lockPath(std::move(lockPath))
    , m_lockWait(fileio::stateLockWait())
{
}

const QSet<QUuid>& HiddenCovers::current()
{
    const fileio::FileVersion version = fileio::versionOf(m_path);
    if (version == m_knownVersion)
        return m_known;
    QSet<QUuid> songs;
    const std::optional<fileio::FileBytes> bytes = fileio::readWholeFile(m_path);
    if (bytes) {
        const std::string_view name = "hidden_covers.json";
        const QStringList ids = json::decodeValue<QStringList>(QByteArray(bytes->data(), qsizetype(bytes->size())), name);
        for (qsizetype i = 0; i < ids.size(); ++i) {
            const QUuid id = QUuid::fromString(ids[i]);
            if (id.isNull())
                json::Path(name).item(i).fail("expected a song id");
            songs.insert(id);
        }
    }
    m_known = std::move(songs);
    m_knownVersion = bytes ? bytes->version() : fileio::FileVersion {};
    return m_known;
}

bool HiddenCovers::contains(const QUuid& song)
{
    try {
        return current().contains(song);
    } catch (const std::exception& error) {
        const fileio::FileVersion version = fileio::versionOf(m_path);
        if (version != m_reportedVersion) {
            m_reportedVersion = version;
            qCWarning(lcArtwork).noquote() << "Removed covers are shown again: the list of them cannot be read:" << describe(error);
        }
        return false;
    }
}

void HiddenCovers::change(const std::function<void(QSet<QUuid>&)>& edit)
{
    const fileio::FileLock lock = fileio::FileLock::acquire(m_lockPath, m_lockWait);
    QSet<QUuid> songs = current();
    edit(songs);
    if (songs == m_known)
        return;
    QStringList ids;
    ids.reserve(songs.size());
    for (const QUuid& id : std::as_const(songs))
        ids.push_back(id.toString(QUuid::WithoutBraces).toUpper());
    // In order, so that the same marks always make the same file.
    std::sort(ids.begin(), ids.end());
    m_knownVersion = fileio::writeFileAtomically(m_path, json::encodeValue(ids));
    m_known = std::move(songs);
}

void HiddenCovers::hide(const QUuid& song)
{
    change([&](QSet<QUuid>& songs) { songs.insert(song); });
}

void HiddenCovers::reveal(const QUuid& song)
{
    // Most covers stored were never hidden: those cost no lock and no write.
    if (!current().contains(song))
        return;
    change([&](QSet<QUuid>& songs) { songs.remove(song); });
}

void HiddenCovers::clear()
{
    change([](QSet<QUuid>& songs) { songs.clear(); });
}

} // namespace varno
