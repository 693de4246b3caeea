#include "TestSupport.h"

#include "platform/SettingsPreferencesStore.h"
#include "storage/StateCodecs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

namespace varno {

void PrintTo(const Track& track, std::ostream* os)
{
    std::string out;
    json::Writer writer(out);
    json::encode(writer, track);
    *os << out;
}

} // namespace varno

namespace varno::test {

void isolateProcessFolders()
{
    // Deliberately leaked: the folder must outlive every test of the process,
    // and is removed by the system's temporary-file cleaning.
    static QTemporaryDir* root = new QTemporaryDir();
    const QByteArray base = QFile::encodeName(root->path());
    for (const char* sub : {"/data", "/config", "/runtime", "/home"})
        QDir().mkpath(QString::fromUtf8(base + sub));
    qputenv("XDG_DATA_HOME", base + "/data");
    qputenv("XDG_CONFIG_HOME", base + "/config");
    qputenv("XDG_RUNTIME_DIR", base + "/runtime");
    qputenv("HOME", base + "/home");
    QFile::setPermissions(QString::fromUtf8(base + "/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QByteArray offscreenPlatformWithTestScreens()
{
    const QString path = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR")) + QStringLiteral("/offscreen-screens.json");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QByteArray screens;
        for (const TestScreen& screen : {kPrimaryTestScreen, kSecondTestScreen}) {
            const QRect& at = screen.geometry;
            screens += (screens.isEmpty() ? "" : ",")
                + QStringLiteral(R"({"name":"%1","x":%2,"y":%3,"width":%4,"height":%5,"logicalDpi":96,"dpr":1})")
                      .arg(QString::fromLatin1(screen.name))
                      .arg(at.x())
                      .arg(at.y())
                      .arg(at.width())
                      .arg(at.height())
                      .toUtf8();
        }
        file.write(R"({"screens":[)" + screens + "]}");
    }
    return "offscreen:configfile=" + QFile::encodeName(path);
}

void DataFolderTest::SetUp()
{
    ASSERT_TRUE(m_root.isValid());
    QDir().mkpath(dataHome());
    QDir().mkpath(homeFolder());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    qputenv("HOME", QFile::encodeName(homeFolder()));
    QSettings(QSettings::NativeFormat, QSettings::UserScope, kOrganizationName, kApplicationName).clear();
}

void DataFolderTest::TearDown()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, kOrganizationName, kApplicationName).clear();
}

QString DataFolderTest::appFolder() const
{
    return dataHome() + QStringLiteral("/OstrelMediaStudio");
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

DiagnosticCapture::DiagnosticCapture()
{
    if (!m_file.open())
        throw std::runtime_error("cannot make a file for diagnostic lines");
    m_stream = ::fdopen(::dup(m_file.handle()), "w");
    setDiagnosticOutput(m_stream);
}

DiagnosticCapture::~DiagnosticCapture()
{
    setDiagnosticOutput(nullptr);
    std::fclose(m_stream);
}

QString DiagnosticCapture::text() const
{
    // Each line is flushed as it is written, so the file holds them all.
    return QString::fromUtf8(readFile(m_file.fileName()));
}

QString settingsFile()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, kOrganizationName, kApplicationName).fileName();
}

void writeSettingsFile(const QByteArray& ini)
{
    const QString path = settingsFile();
    QDir().mkpath(QFileInfo(path).path());
    writeFile(path, ini);
}

QString fixturePath(const QString& relative)
{
    return QStringLiteral(VARNO_GENERATED_FIXTURES_DIR "/") + relative;
}

Track makeTrack(const QString& title, const QUuid& id)
{
    return Track(id, FileURL::fromLocalFile(QStringLiteral("/music/") + title + QStringLiteral(".mp3")), title + QStringLiteral(".mp3"),
                 title, 180.5, Timestamp::fromSecondsSinceReferenceDate(786000000.25), std::nullopt);
}

QStringList titlesOf(const TrackList& tracks)
{
    QStringList titles;
    for (const Track& track : tracks)
        titles << track.title;
    return titles;
}

QStringList namesOf(const QList<Playlist>& playlists)
{
    QStringList names;
    for (const Playlist& playlist : playlists)
        names << playlist.name;
    return names;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    // The loop sleeps until an event comes rather than spinning, so a busy
    // machine gives its time to the threads the test is waiting for; the
    // timer wakes it for conditions other threads change without an event.
    QTimer poll;
    poll.start(5);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

bool happensWithin(TimerBeats window, const std::function<bool()>& happened)
{
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    int beats = 0;
    QObject::connect(&beat, &QTimer::timeout, &beat, [&beats] { ++beats; });
    beat.start(window.interval);
    while (!happened()) {
        if (beats >= window.count)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

namespace detail {

QCoro::Task<> captureVoid(QCoro::Task<> task, std::exception_ptr* error, bool* done)
{
    try {
        co_await std::move(task);
    } catch (...) {
        *error = std::current_exception();
    }
    *done = true;
}

void spinUntil(const bool& done, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (!done) {
        if (deadline.hasExpired())
            throw std::runtime_error("the task did not finish in time");
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!done)
            QThread::usleep(200);
    }
}

} // namespace detail

} // namespace varno::test
