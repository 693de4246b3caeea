#include "ArtworkAccentFollower.h"

#include "media/ArtworkCache.h"
#include "media/ThemeEngine.h"
#include "playback/AudioEngine.h"

#include <QPointer>

namespace varno {

ArtworkAccentFollower::ArtworkAccentFollower(ThemeEngine& theme, AudioEngine& audio, ArtworkCache& artwork, QObject* parent)
    : QObject(parent)
    , m_theme(theme)
    , m_audio(audio)
    , m_artwork(artwork)
    , m_lastDynamic(theme.currentConfiguration().useDynamicAccent)
    , m_lastManual(theme.currentConfiguration().manualAccentColor)
{
    m_cacheSettled.setSingleShot(true);
    m_cacheSettled.setInterval(400);
    connect(&m_cacheSettled, &QTimer::timeout, this, [this] { follow(); });
    connect(&m_audio, &AudioEngine::currentTrackChanged, this, [this] { follow(); });
    connect(&m_artwork, &ArtworkCache::cacheVersionChanged, this, [this] {
        if (m_theme.currentConfiguration().useDynamicAccent && m_audio.currentTrack())
            m_cacheSettled.start();
    });
    connect(&m_theme, &ThemeEngine::configurationChanged, this, &ArtworkAccentFollower::configurationSeen);
    follow();
}

void ArtworkAccentFollower::configurationSeen()
{
    // Only the user's choices matter here; the accent this object publishes
    // comes back through the same signal and is left alone.
    const ThemeConfiguration& now = m_theme.currentConfiguration();
    if (now.useDynamicAccent == m_lastDynamic && now.manualAccentColor == m_lastManual)
        return;
    m_lastDynamic = now.useDynamicAccent;
    m_lastManual = now.manualAccentColor;
    follow();
}

QCoro::Task<> ArtworkAccentFollower::follow()
{
    const quint64 generation = ++m_generation;
    QPointer<ArtworkAccentFollower> self(this);
    StudioColor accent = m_theme.currentConfiguration().manualAccentColor;
    const std::optional<Track> playing = m_audio.currentTrack();
    if (m_theme.currentConfiguration().useDynamicAccent && playing) {
        ++m_running;
        std::optional<QByteArray> cover;
        try {
            auto retrieving = m_artwork.retrieveArtwork(*playing);
            cover = co_await retrieving;
        } catch (...) {
            cover.reset();
        }
        if (!self)
            co_return;
        if (cover && !cover->isEmpty() && generation == m_generation) {
            auto analysing = m_theme.extractAccentColor(*cover);
            const StudioColor extracted = co_await analysing;
            if (!self)
                co_return;
            accent = extracted;
        }
        --m_running;
        if (generation != m_generation)
            co_return;
    }
    if (m_theme.currentConfiguration().accentColor != accent)
        m_theme.updateTheme([accent](ThemeConfiguration& c) { c.accentColor = accent; });
}

} // namespace varno
