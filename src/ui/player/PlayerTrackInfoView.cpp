#include "PlayerTrackInfoView.h"

#include "media/ArtworkCache.h"
#include "media/ThumbnailGenerator.h"
#include "playback/AudioEngine.h"
#include "ui/player/ArtworkTile.h"
#include "ui/player/ElidedLabel.h"
#include "ui/player/PlayerBarRules.h"

#include <QHBoxLayout>
#include <QImage>
#include <QPointer>
#include <QVBoxLayout>

namespace varno {

PlayerTrackInfoView::PlayerTrackInfoView(AudioEngine& audioEngine, ArtworkCache& artworkCache, ThumbnailGenerator& thumbnails,
                                         QWidget* parent)
    : QWidget(parent)
    , m_audioEngine(audioEngine)
    , m_artworkCache(artworkCache)
    , m_thumbnails(thumbnails)
{
    setObjectName(QStringLiteral("player.trackInfo"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);

    m_artwork = new ArtworkTile(kArtworkSide, QStringLiteral("waveform"), this);
    m_artwork->setObjectName(QStringLiteral("player.artwork"));

    auto* texts = new QVBoxLayout;
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(1);
    m_title = new ElidedLabel(this);
    m_title->setObjectName(QStringLiteral("player.title"));
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(12);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);

    m_artist = new ElidedLabel(this);
    m_artist->setObjectName(QStringLiteral("player.artist"));
    QFont artistFont = m_artist->font();
    artistFont.setPointSizeF(11);
    artistFont.setWeight(QFont::Medium);
    m_artist->setFont(artistFont);
    QPalette artistPalette = m_artist->palette();
    QColor secondary = palette().color(QPalette::WindowText);
    secondary.setAlphaF(0.72f);
    artistPalette.setColor(QPalette::WindowText, secondary);
    m_artist->setPalette(artistPalette);

    m_status = new ElidedLabel(this);
    m_status->setObjectName(QStringLiteral("player.status"));
    QFont statusFont = m_status->font();
    statusFont.setPointSizeF(10);
    statusFont.setWeight(QFont::DemiBold);
    statusFont.setCapitalization(QFont::AllUppercase);
    statusFont.setLetterSpacing(QFont::PercentageSpacing, 104);
    m_status->setFont(statusFont);

    texts->addStretch(1);
    texts->addWidget(m_title);
    texts->addWidget(m_artist);
    texts->addSpacing(1);
    texts->addWidget(m_status);
    texts->addStretch(1);

    layout->addWidget(m_artwork, 0, Qt::AlignVCenter);
    layout->addLayout(texts, 1);

    connect(&m_audioEngine, &AudioEngine::currentTrackChanged, this, &PlayerTrackInfoView::showTrack);
    connect(&m_audioEngine, &AudioEngine::playbackStateChanged, this, &PlayerTrackInfoView::showStatus);
    connect(&m_artworkCache, &ArtworkCache::cacheVersionChanged, this, &PlayerTrackInfoView::reloadArtwork);
    showTrack();
    showStatus();
}

QString PlayerTrackInfoView::titleText() const
{
    return m_title->fullText();
}

QString PlayerTrackInfoView::artistText() const
{
    return m_artist->fullText();
}

QString PlayerTrackInfoView::statusText() const
{
    return m_status->fullText();
}

QColor PlayerTrackInfoView::statusColor() const
{
    return m_status->palette().color(QPalette::WindowText);
}

bool PlayerTrackInfoView::hasArtwork() const
{
    return m_artwork->hasImage();
}

void PlayerTrackInfoView::showTrack()
{
    const std::optional<Track>& track = m_audioEngine.currentTrack();
    // A song loaded again (repeat one, a restart) keeps its cover on screen.
    if (track == m_shownTrack)
        return;
    const bool sameSong = track && m_shownTrack && track->id == m_shownTrack->id;
    m_shownTrack = track;
    m_title->setFullText(track ? track->title : QString());
    m_artist->setFullText(track ? player::artistText(track->artist) : QString());
    m_artwork->setAccessibleName(track ? tr("Cover of %1").arg(track->title) : QString());
    if (!sameSong)
        m_artwork->setImage({});
    reloadArtwork();
}

void PlayerTrackInfoView::showStatus()
{
    const PlaybackState state = m_audioEngine.playbackState();
    m_status->setFullText(player::statusText(state));
    QPalette statusPalette = m_status->palette();
    statusPalette.setColor(QPalette::WindowText, state == PlaybackState::Playing ? palette().color(QPalette::Highlight)
                                                                                 : palette().color(QPalette::PlaceholderText));
    m_status->setPalette(statusPalette);
}

void PlayerTrackInfoView::reloadArtwork()
{
    const quint64 generation = ++m_artworkGeneration;
    if (!m_shownTrack) {
        m_artwork->setImage({});
        return;
    }
    loadArtwork(*m_shownTrack, generation);
}

QCoro::Task<> PlayerTrackInfoView::loadArtwork(Track track, quint64 generation)
{
    const QPointer<PlayerTrackInfoView> self(this);
    // Twice the tile, so the cover stays sharp on a high-density screen.
    const QSize pixels(kArtworkSide * 2, kArtworkSide * 2);
    auto fetching = m_thumbnails.thumbnail(track, pixels);
    const std::optional<QByteArray> bytes = co_await fetching;
    if (!self || generation != m_artworkGeneration)
        co_return;
    // The thumbnail is a small PNG: decoding it here costs next to nothing.
    m_artwork->setImage(bytes ? QImage::fromData(*bytes) : QImage());
    emit artworkShown();
}

} // namespace varno
