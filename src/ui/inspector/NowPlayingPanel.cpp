#include "NowPlayingPanel.h"

#include "media/ArtworkCache.h"
#include "playback/AudioEngine.h"
#include "ui/Icons.h"
#include "ui/InspectedSongState.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QVBoxLayout>

namespace varno {

const QString NowPlayingPanel::kHeading = QStringLiteral("NOW PLAYING");
const QString NowPlayingPanel::kNothingTitle = QStringLiteral("Nothing playing");
const QString NowPlayingPanel::kNothingSubtitle = QStringLiteral("Choose a song to see it here");

namespace {

QString orUnknown(const std::optional<QString>& text, const QString& fallback)
{
    return text && !text->isEmpty() ? *text : fallback;
}

QPixmap roundedCover(const QImage& image, int side, qreal radius, const QPalette& palette)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(0, 0, side, side), radius, radius);
    painter.setClipPath(clip);
    if (image.isNull()) {
        painter.fillRect(pixmap.rect(), palette.color(QPalette::AlternateBase));
        const int glyph = side / 3;
        painter.drawPixmap((side - glyph) / 2, (side - glyph) / 2,
                           symbolIcon(u"music.note", palette.color(QPalette::PlaceholderText)).pixmap(glyph, glyph));
    } else {
        const QImage filled = image.scaled(side, side, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        painter.drawImage(QPoint((side - filled.width()) / 2, (side - filled.height()) / 2), filled);
    }
    return pixmap;
}

} // namespace

NowPlayingPanel::NowPlayingPanel(ViewEnvironment environment, QWidget* parent)
    : QWidget(parent)
    , m_environment(environment)
    , m_artwork(new QLabel(this))
    , m_title(new QLabel(this))
    , m_artist(new QLabel(this))
    , m_album(new QLabel(this))
    , m_details(new QLabel(this))
{
    setObjectName(QStringLiteral("nowPlayingPanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 18);
    layout->setSpacing(6);
    auto* heading = new QLabel(kHeading, this);
    QFont caption = heading->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.8);
    caption.setWeight(QFont::DemiBold);
    caption.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    heading->setFont(caption);
    heading->setForegroundRole(QPalette::PlaceholderText);
    m_artwork->setAlignment(Qt::AlignCenter);
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.35);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_title->setWordWrap(true);
    m_artist->setWordWrap(true);
    m_album->setWordWrap(true);
    m_album->setForegroundRole(QPalette::PlaceholderText);
    m_details->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(heading);
    layout->addSpacing(8);
    layout->addWidget(m_artwork);
    layout->addSpacing(10);
    layout->addWidget(m_title);
    layout->addWidget(m_artist);
    layout->addWidget(m_album);
    layout->addSpacing(8);
    layout->addWidget(m_details);
    layout->addStretch(1);

    connect(&m_environment.audioEngine, &AudioEngine::currentTrackChanged, this, &NowPlayingPanel::follow);
    connect(&m_environment.inspection, &InspectedSongState::selectedTrackChanged, this, &NowPlayingPanel::follow);
    connect(&m_environment.artworkCache, &ArtworkCache::cacheVersionChanged, this, [this] {
        if (m_shown)
            loadArtwork(*m_shown);
    });
    follow();
}

QString NowPlayingPanel::titleText() const
{
    return m_title->text();
}

void NowPlayingPanel::follow()
{
    std::optional<Track> track = m_environment.audioEngine.currentTrack();
    if (!track)
        track = m_environment.inspection.selectedTrack();
    const bool sameSong = track && m_shown && track->id == m_shown->id;
    m_shown = track;
    if (!track) {
        m_cover = {};
        showArtwork({});
        m_title->setText(kNothingTitle);
        m_artist->setText(kNothingSubtitle);
        m_album->clear();
        m_details->clear();
        return;
    }
    m_title->setText(track->title);
    m_artist->setText(orUnknown(track->artist, tr("Unknown Artist")));
    m_album->setText(orUnknown(track->album, tr("Unknown Album")));
    QStringList details;
    if (track->year)
        details << QString::number(*track->year);
    if (track->genre && !track->genre->isEmpty())
        details << *track->genre;
    details << track->fileURL.toLocalFile().section(QLatin1Char('.'), -1).toUpper();
    m_details->setText(details.join(QStringLiteral(" · ")));
    if (!sameSong) {
        m_cover = {};
        showArtwork({});
    }
    loadArtwork(*track);
}

QCoro::Task<> NowPlayingPanel::loadArtwork(Track track)
{
    const quint64 generation = ++m_generation;
    QPointer<NowPlayingPanel> self(this);
    auto retrieving = m_environment.artworkCache.retrieveArtwork(track);
    std::optional<QByteArray> bytes;
    try {
        bytes = co_await retrieving;
    } catch (...) {
        bytes.reset();
    }
    if (!self || generation != m_generation)
        co_return;
    m_cover = bytes ? QImage::fromData(*bytes) : QImage();
    showArtwork(m_cover);
}

void NowPlayingPanel::showArtwork(const QImage& image)
{
    const int side = std::max(80, width() - 40);
    m_artwork->setPixmap(roundedCover(image, side, 12, palette()));
}

void NowPlayingPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    showArtwork(m_cover);
}

} // namespace varno
