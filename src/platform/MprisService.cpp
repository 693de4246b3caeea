#include "MprisService.h"

#include "platform/Diagnostics.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QLoggingCategory>
#include <QUrl>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

namespace varno {

Q_LOGGING_CATEGORY(lcDesktop, "varno.desktop")

namespace {

constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kNoTrackPath = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

QString statusText(RemotePlaybackStatus status)
{
    switch (status) {
    case RemotePlaybackStatus::Playing:
        return QStringLiteral("Playing");
    case RemotePlaybackStatus::Paused:
        return QStringLiteral("Paused");
    case RemotePlaybackStatus::Stopped:
        return QStringLiteral("Stopped");
    }
    return QStringLiteral("Stopped");
}

QString loopText(RemoteLoopStatus loop)
{
    switch (loop) {
    case RemoteLoopStatus::None:
        return QStringLiteral("None");
    case RemoteLoopStatus::Track:
        return QStringLiteral("Track");
    case RemoteLoopStatus::Playlist:
        return QStringLiteral("Playlist");
    }
    return QStringLiteral("None");
}

std::optional<RemoteLoopStatus> loopFromText(const QString& text)
{
    if (text == QLatin1String("None"))
        return RemoteLoopStatus::None;
    if (text == QLatin1String("Track"))
        return RemoteLoopStatus::Track;
    if (text == QLatin1String("Playlist"))
        return RemoteLoopStatus::Playlist;
    return std::nullopt;
}

QVariantMap metadataOf(const std::optional<RemoteTrack>& track)
{
    QVariantMap map;
    if (!track) {
        map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kNoTrackPath))));
        return map;
    }
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(MprisService::trackObjectPath(track->id))));
    if (track->lengthMicroseconds > 0)
        map.insert(QStringLiteral("mpris:length"), qlonglong(track->lengthMicroseconds));
    map.insert(QStringLiteral("xesam:title"), track->title);
    if (!track->artists.isEmpty())
        map.insert(QStringLiteral("xesam:artist"), track->artists);
    if (!track->album.isEmpty())
        map.insert(QStringLiteral("xesam:album"), track->album);
    if (!track->albumArtists.isEmpty())
        map.insert(QStringLiteral("xesam:albumArtist"), track->albumArtists);
    if (!track->genres.isEmpty())
        map.insert(QStringLiteral("xesam:genre"), track->genres);
    if (track->trackNumber)
        map.insert(QStringLiteral("xesam:trackNumber"), *track->trackNumber);
    if (!track->url.isEmpty())
        map.insert(QStringLiteral("xesam:url"), track->url);
    if (!track->artUrl.isEmpty())
        map.insert(QStringLiteral("mpris:artUrl"), track->artUrl);
    return map;
}

} // namespace

// The root interface: who the player is and what the desktop may ask of the
// application as a whole.
class MprisRootAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool Fullscreen READ fullscreen)
    Q_PROPERTY(bool CanSetFullscreen READ canSetFullscreen)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

public:
    explicit MprisRootAdaptor(MprisService& service)
        : QDBusAbstractAdaptor(&service)
        , m_service(service)
    {
    }

    bool canQuit() const { return true; }
    bool canRaise() const { return m_service.identity().canRaise; }
    bool fullscreen() const { return false; }
    bool canSetFullscreen() const { return false; }
    bool hasTrackList() const { return false; }
    QString identity() const { return m_service.identity().identity; }
    QString desktopEntry() const { return m_service.identity().desktopEntry; }
    QStringList supportedUriSchemes() const { return m_service.identity().supportedUriSchemes; }
    QStringList supportedMimeTypes() const { return m_service.identity().supportedMimeTypes; }

public slots:
    void Raise()
    {
        if (canRaise())
            m_service.control().raise();
    }
    void Quit() { m_service.control().quit(); }

private:
    MprisService& m_service;
};

// The player interface. What a command means when it does not fit the
// moment (a seek past the end, a position for another song) follows the
// MPRIS rules here, so the control only ever gets sensible requests.
class MprisPlayerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QString LoopStatus READ loopStatus WRITE setLoopStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(bool Shuffle READ shuffle WRITE setShuffle)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)

public:
    explicit MprisPlayerAdaptor(MprisService& service)
        : QDBusAbstractAdaptor(&service)
        , m_service(service)
    {
    }

    const RemotePlayerState& state() const { return m_service.state(); }
    QString playbackStatus() const { return statusText(state().status); }
    QString loopStatus() const { return loopText(state().loop); }
    void setLoopStatus(const QString& text)
    {
        if (const std::optional<RemoteLoopStatus> loop = loopFromText(text))
            m_service.control().setLoopStatus(*loop);
    }
    double rate() const { return 1.0; }
    // Only normal speed is offered (MinimumRate = MaximumRate = 1).
    void setRate(double) { }
    bool shuffle() const { return state().shuffle; }
    void setShuffle(bool shuffle) { m_service.control().setShuffle(shuffle); }
    QVariantMap metadata() const { return metadataOf(state().track); }
    double volume() const { return state().volume; }
    void setVolume(double volume)
    {
        if (std::isfinite(volume))
            m_service.control().setVolume(std::clamp(volume, 0.0, 1.0));
    }
    qlonglong position() const { return m_service.control().positionMicroseconds(); }
    bool canGoNext() const { return state().canGoNext; }
    bool canGoPrevious() const { return state().canGoPrevious; }
    bool canPlay() const { return state().canPlay; }
    bool canPause() const { return state().canPause; }
    bool canSeek() const { return state().canSeek; }
    bool canControl() const { return true; }

public slots:
    void Next()
    {
        if (canGoNext())
            m_service.control().next();
    }
    void Previous()
    {
        if (canGoPrevious())
            m_service.control().previous();
    }
    void Pause()
    {
        if (canPause())
            m_service.control().pause();
    }
    void PlayPause()
    {
        if (canPause() || canPlay())
            m_service.control().playPause();
    }
    void Stop() { m_service.control().stop(); }
    void Play()
    {
        if (canPlay())
            m_service.control().play();
    }
    void Seek(qlonglong Offset)
    {
        if (!canSeek() || !state().track)
            return;
        const qint64 length = state().track->lengthMicroseconds;
        const qint64 target = std::max<qint64>(0, m_service.control().positionMicroseconds() + Offset);
        // Past the end is the next song, as the interface defines it.
        if (length > 0 && target > length) {
            if (canGoNext())
                m_service.control().next();
            return;
        }
        m_service.control().setPosition(target);
    }
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position)
    {
        if (!canSeek() || !state().track || TrackId.path() != MprisService::trackObjectPath(state().track->id))
            return;
        const qint64 length = state().track->lengthMicroseconds;
        if (Position < 0 || (length > 0 && Position > length))
            return;
        m_service.control().setPosition(Position);
    }
    void OpenUri(const QString& Uri)
    {
        const QUrl url(Uri);
        if (!m_service.identity().supportedUriSchemes.contains(url.scheme()))
            return;
        m_service.control().openUris({Uri});
    }

signals:
    void Seeked(qlonglong Position);

private:
    MprisService& m_service;
};

MprisService::MprisService(QDBusConnection connection, RemotePlayerControl& control, MprisIdentity identity, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
    , m_control(control)
    , m_identity(std::move(identity))
{
    new MprisRootAdaptor(*this);
    new MprisPlayerAdaptor(*this);
}

MprisService::~MprisService()
{
    if (!isPublished())
        return;
    m_connection.unregisterObject(QString::fromLatin1(kObjectPath));
    m_connection.unregisterService(m_serviceName);
}

bool MprisService::publish()
{
    if (isPublished())
        return true;
    if (!m_connection.isConnected()) {
        const QString reason = m_connection.lastError().message();
        printDiagnostic(QStringLiteral("No session bus: media keys and the desktop's player controls will not see VARNO MUSIC")
                        + (reason.isEmpty() ? QString() : QStringLiteral(" (") + reason + QLatin1Char(')')));
        return false;
    }
    if (!m_connection.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAdaptors)) {
        printDiagnostic(QStringLiteral("The media player could not be published on the session bus: ") + m_connection.lastError().message());
        return false;
    }
    // A second player of ours (the app and `varno-cli play`) takes a name of
    // its own, as the interface asks of players that run several times.
    const QString base = QStringLiteral("org.mpris.MediaPlayer2.") + m_identity.busName;
    for (const QString& name : {base, base + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid())}) {
        if (m_connection.registerService(name)) {
            m_serviceName = name;
            return true;
        }
    }
    printDiagnostic(QStringLiteral("The media player could not be published on the session bus: ") + m_connection.lastError().message());
    m_connection.unregisterObject(QString::fromLatin1(kObjectPath));
    return false;
}

QString MprisService::trackObjectPath(const QString& trackID)
{
    // Object path elements take only [A-Za-z0-9_]; a UUID's hex digits fit
    // once the braces and dashes are gone.
    QString element;
    for (const QChar c : trackID) {
        if ((c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            element.append(c);
    }
    return QStringLiteral("/org/varno/Music/Track/T") + element;
}

void MprisService::setState(const RemotePlayerState& state)
{
    const RemotePlayerState old = m_state;
    m_state = state;
    if (!isPublished() || old == state)
        return;
    QVariantMap changed;
    if (old.status != state.status)
        changed.insert(QStringLiteral("PlaybackStatus"), statusText(state.status));
    if (old.loop != state.loop)
        changed.insert(QStringLiteral("LoopStatus"), loopText(state.loop));
    if (old.shuffle != state.shuffle)
        changed.insert(QStringLiteral("Shuffle"), state.shuffle);
    if (old.volume != state.volume)
        changed.insert(QStringLiteral("Volume"), state.volume);
    if (old.track != state.track)
        changed.insert(QStringLiteral("Metadata"), metadataOf(state.track));
    if (old.canGoNext != state.canGoNext)
        changed.insert(QStringLiteral("CanGoNext"), state.canGoNext);
    if (old.canGoPrevious != state.canGoPrevious)
        changed.insert(QStringLiteral("CanGoPrevious"), state.canGoPrevious);
    if (old.canPlay != state.canPlay)
        changed.insert(QStringLiteral("CanPlay"), state.canPlay);
    if (old.canPause != state.canPause)
        changed.insert(QStringLiteral("CanPause"), state.canPause);
    if (old.canSeek != state.canSeek)
        changed.insert(QStringLiteral("CanSeek"), state.canSeek);
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    m_connection.send(signal);
}

void MprisService::announceSeek(qint64 position)
{
    if (!isPublished())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath), QString::fromLatin1(kPlayerInterface), QStringLiteral("Seeked"));
    signal << qlonglong(position);
    m_connection.send(signal);
}

} // namespace varno

#include "MprisService.moc"
