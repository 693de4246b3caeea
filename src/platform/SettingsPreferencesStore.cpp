#include "SettingsPreferencesStore.h"

#include "ApplicationIdentity.h"

#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varno {

namespace {

// No preferences file of ours comes near this; anything larger is not one.
constexpr off_t kLargestPreferencesFile = 16 * 1024 * 1024;

// Why the file at `path` cannot be read as preferences, or nothing when it
// can (or is simply not there yet).
std::optional<QString> unreadableBecause(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0)
        return errno == ENOENT ? std::nullopt : std::optional<QString>(QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("it is a folder");
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("it is not a regular file");
    if (info.st_size > kLargestPreferencesFile)
        return QStringLiteral("it is far too large to be a preferences file");
    const int descriptor = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    ::close(descriptor);
    return std::nullopt;
}

} // namespace

SettingsPreferencesStore::SettingsPreferencesStore()
{
    // QSettings reads its file as it is constructed, so the look comes
    // first, at the path it would use: "<organisation>/<application>.conf"
    // in the config home.
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') + kOrganizationName
                         + QLatin1Char('/') + kApplicationName + QStringLiteral(".conf");
    if (const std::optional<QString> reason = unreadableBecause(path)) {
        m_problem = QStringLiteral("The preferences in %1 could not be read: %2.")
                        .arg(path, *reason);
        return;
    }
    m_settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kOrganizationName, kApplicationName);
    Q_ASSERT(m_settings->fileName() == path);
}

std::optional<QVariant> SettingsPreferencesStore::stored(const QString& key) const
{
    QVariant value = m_settings ? m_settings->value(key) : m_memory.value(key);
    if (!value.isValid())
        return std::nullopt;
    return value;
}

void SettingsPreferencesStore::store(const QString& key, const QVariant& value)
{
    if (!m_settings) {
        m_memory.insert(key, value);
        return;
    }
    m_settings->setValue(key, value);
    // Written now rather than at exit, so a crash does not lose a preference.
    m_settings->sync();
}

std::optional<QByteArray> SettingsPreferencesStore::value(const QString& key) const
{
    const std::optional<QVariant> value = stored(key);
    if (!value)
        return std::nullopt;
    return value->toByteArray();
}

void SettingsPreferencesStore::setValue(const QString& key, const QByteArray& value)
{
    store(key, value);
}

std::optional<QVariant> SettingsPreferencesStore::typedValue(const QString& key) const
{
    return stored(key);
}

void SettingsPreferencesStore::setTypedValue(const QString& key, const QVariant& value)
{
    store(key, value);
}

void SettingsPreferencesStore::remove(const QString& key)
{
    if (!m_settings) {
        m_memory.remove(key);
        return;
    }
    m_settings->remove(key);
    m_settings->sync();
}

} // namespace varno
