#include "NowPlayingPanelView.h"

#include "edits/TrackEditor.h"
#include "library/LibraryEngine.h"
#include "media/ArtworkCache.h"
#include "media/ThemeEngine.h"
#include "playback/AudioEngine.h"
#include "platform/Worker.h"
#include "ui/DesktopDialogs.h"
#include "ui/Icons.h"
#include "ui/InspectedSongState.h"
#include "ui/inspector/InspectorView.h"
#include "ui/inspector/NowPlayingArtworkView.h"
#include "ui/inspector/NowPlayingIndicator.h"
#include "ui/inspector/NowPlayingMetadataDetailsView.h"
#include "ui/inspector/SectionCaption.h"
#include "ui/songs/TrackListTexts.h"
#include "workspace/WorkspacePanelState.h"

#include <QAction>
#include <QBuffer>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QScrollArea>
#include <QThreadPool>
#include <QToolButton>
#include <QVBoxLayout>

namespace varno {

const QString NowPlayingPanelView::kNoTrackText = QStringLiteral("No track selected");
const QString NowPlayingPanelView::kUnknownArtist = QStringLiteral("Unknown Artist");
const QString NowPlayingPanelView::kUnknownAlbum = QStringLiteral("Unknown Album");

namespace {

constexpr int kStoreAfterMilliseconds = 1200;
// Covers are decoded no larger than the widest panel shows them.
constexpr int kLargestCover = 720;
constexpr int kLargestShownCover = 240;

QString orUnknown(const std::optional<QString>& text, const QString& fallback)
{
    return text && !text->isEmpty() ? *text : fallback;
}

QImage decodeCover(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kLargestCover || size.height() > kLargestCover))
        reader.setScaledSize(size.scaled(kLargestCover, kLargestCover, Qt::KeepAspectRatioByExpanding));
    return reader.read();
}

} // namespace

NowPlayingPanelView::NowPlayingPanelView(ViewEnvironment environment, QWidget* parent)
    : QWidget(parent)
    , m_environment(environment)
{
    setObjectName(QStringLiteral("nowPlayingPanel"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = m_scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    // It takes focus so the keys can scroll the panel; a screen reader
    // names it after the panel.
    scroll->setAccessibleName(WorkspacePanelState::panelName(WorkspacePanelSide::Right));
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    outer->addWidget(scroll);

    auto* content = new QWidget(scroll);
    content->setAutoFillBackground(false);
    scroll->setWidget(content);
    m_contentLayout = new QVBoxLayout(content);

    m_empty = new QWidget(content);
    m_empty->setObjectName(QStringLiteral("nowPlayingEmpty"));
    auto* emptyColumn = new QVBoxLayout(m_empty);
    emptyColumn->addStretch(2);
    auto* emptyIcon = new QLabel(m_empty);
    emptyIcon->setPixmap(symbolIcon(u"music.note", palette().color(QPalette::PlaceholderText)).pixmap(40, 40));
    emptyIcon->setAlignment(Qt::AlignCenter);
    auto* emptyText = new QLabel(kNoTrackText, m_empty);
    emptyText->setAlignment(Qt::AlignCenter);
    emptyText->setForegroundRole(QPalette::PlaceholderText);
    emptyColumn->addWidget(emptyIcon);
    emptyColumn->addWidget(emptyText);
    emptyColumn->addStretch(3);
    m_contentLayout->addWidget(m_empty, 1);

    m_song = new QWidget(content);
    auto* song = new QVBoxLayout(m_song);
    song->setContentsMargins(0, 0, 0, 0);
    song->setSpacing(4);
    m_artwork = new NowPlayingArtworkView(m_environment.themeEngine, m_song);
    // Large enough to enjoy, small enough to leave the inspector in view.
    m_artwork->setMaximumSize(kLargestShownCover, kLargestShownCover);
    song->addWidget(m_artwork, 0, Qt::AlignHCenter);
    song->addSpacing(10);
    m_title = new QLabel(m_song);
    m_title->setObjectName(QStringLiteral("nowPlayingTitle"));
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_title->setWordWrap(true);
    m_title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_artist = new QLabel(m_song);
    m_artist->setWordWrap(true);
    m_album = new QLabel(m_song);
    m_album->setWordWrap(true);
    m_album->setForegroundRole(QPalette::PlaceholderText);
    song->addWidget(m_title);
    song->addWidget(m_artist);
    song->addWidget(m_album);
    song->addSpacing(6);
    auto* statusRow = new QHBoxLayout;
    m_indicator = new NowPlayingIndicator(m_environment.themeEngine, m_song);
    m_actions = new QToolButton(m_song);
    m_actions->setObjectName(QStringLiteral("nowPlayingActions"));
    m_actions->setIcon(symbolIcon(u"ellipsis"));
    m_actions->setAutoRaise(true);
    m_actions->setPopupMode(QToolButton::InstantPopup);
    // The ellipsis says there is a menu; the style's arrow would say it twice.
    m_actions->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    m_actions->setToolTip(tr("Song Actions"));
    m_actions->setAccessibleName(tr("Song Actions"));
    m_actions->setMenu(makeActionsMenu());
    statusRow->addWidget(m_indicator);
    statusRow->addStretch(1);
    statusRow->addWidget(m_actions);
    song->addLayout(statusRow);

    m_audioSection = new QWidget(m_song);
    auto* audio = new QVBoxLayout(m_audioSection);
    audio->setContentsMargins(0, 10, 0, 0);
    audio->setSpacing(6);
    audio->addWidget(makeSectionCaption(QStringLiteral("AUDIO"), m_audioSection));
    m_details = new NowPlayingMetadataDetailsView(m_audioSection);
    audio->addWidget(m_details);
    song->addWidget(m_audioSection);
    m_contentLayout->addWidget(m_song);

    m_inspectorSection = new QWidget(content);
    auto* inspector = new QVBoxLayout(m_inspectorSection);
    inspector->setContentsMargins(0, 18, 0, 0);
    auto* rule = new QWidget(m_inspectorSection);
    rule->setFixedHeight(1);
    rule->setAutoFillBackground(true);
    QPalette rulePalette = rule->palette();
    QColor ruleColour = palette().color(QPalette::WindowText);
    ruleColour.setAlphaF(0.10);
    rulePalette.setColor(QPalette::Window, ruleColour);
    rule->setPalette(rulePalette);
    inspector->addWidget(rule);
    inspector->addSpacing(12);
    m_inspector = new InspectorView(m_inspectorSection);
    inspector->addWidget(m_inspector);
    m_contentLayout->addWidget(m_inspectorSection);
    m_contentLayout->addStretch(1);

    m_storeTimer.setSingleShot(true);
    m_storeTimer.setInterval(kStoreAfterMilliseconds);
    connect(&m_storeTimer, &QTimer::timeout, this, &NowPlayingPanelView::storePending);
    connect(m_inspector, &InspectorView::trackEdited, this, &NowPlayingPanelView::edited);
    connect(m_inspector, &InspectorView::editFinished, this, &NowPlayingPanelView::storePending);

    connect(&m_environment.audioEngine, &AudioEngine::currentTrackChanged, this, &NowPlayingPanelView::follow);
    connect(&m_environment.audioEngine, &AudioEngine::playbackStateChanged, this, &NowPlayingPanelView::updateIndicator);
    connect(&m_environment.inspection, &InspectedSongState::selectedTrackChanged, this, &NowPlayingPanelView::follow);
    // Each change of the library costs a look at the remembered positions
    // (a search only when the list was reset or shifted under them).
    connect(&m_environment.libraryEngine, &LibraryEngine::tracksChanged, this, &NowPlayingPanelView::follow);
    connect(&m_environment.artworkCache, &ArtworkCache::cacheVersionChanged, this, [this] {
        if (m_shown)
            loadArtwork(*m_shown);
    });
    connect(&m_environment.themeEngine, &ThemeEngine::configurationChanged, this, &NowPlayingPanelView::applyTheme);
    applyTheme();
    follow();
}

NowPlayingPanelView::~NowPlayingPanelView()
{
    // What was typed is kept: the store finishes on the library engine,
    // which outlives every view.
    storePending();
}

void NowPlayingPanelView::scrollToInspector()
{
    m_scroll->ensureWidgetVisible(m_inspector, 0, 0);
}

bool NowPlayingPanelView::isShowingEmptyState() const
{
    return !m_shown;
}

QString NowPlayingPanelView::titleText() const
{
    return m_shown ? m_title->text() : kNoTrackText;
}

QString NowPlayingPanelView::artistText() const
{
    return m_artist->text();
}

QString NowPlayingPanelView::albumText() const
{
    return m_album->text();
}

std::optional<Track> NowPlayingPanelView::resolve(const Track& track, qsizetype& position) const
{
    const TrackList& library = m_environment.libraryEngine.allTracks();
    if (position < 0 || std::size_t(position) >= library.size() || library[std::size_t(position)].id != track.id)
        position = library.indexOf(track.id);
    if (position < 0)
        return track;
    return library[std::size_t(position)];
}

void NowPlayingPanelView::follow()
{
    // One song for the whole panel, so the fields below edit the song named
    // above them: the selection first, as the fields are for editing it.
    const std::optional<Track>& playing = m_environment.audioEngine.currentTrack();
    const std::optional<Track>& selected = m_environment.inspection.selectedTrack();
    std::optional<Track> shown;
    if (selected || playing)
        shown = resolve(selected ? *selected : *playing, m_shownPosition);

    if (shown != m_shown) {
        const bool newSong = !shown || !m_shown || shown->id != m_shown->id;
        // What was typed for the song being left is stored for that song.
        if (newSong)
            storePending();
        m_shown = shown;
        if (shown)
            showSong(*shown, newSong);
        else
            m_artwork->setImage({});
        if (shown && newSong)
            m_inspector->setTrack(*shown);
        else if (shown && !m_pendingEdit)
            m_inspector->refreshFrom(*shown);
    }
    m_empty->setVisible(!m_shown);
    m_song->setVisible(m_shown.has_value());
    // The empty state takes the whole height, so it sits near the middle;
    // a song's details keep to the top.
    m_contentLayout->setStretch(m_contentLayout->count() - 1, m_shown ? 1 : 0);
    updateIndicator();
    m_inspectorSection->setVisible(m_shown.has_value());
}

bool NowPlayingPanelView::isShowingLoadedSong() const
{
    const std::optional<Track>& loaded = m_environment.audioEngine.currentTrack();
    return m_shown && loaded && loaded->id == m_shown->id;
}

void NowPlayingPanelView::showSong(const Track& track, bool newSong)
{
    m_title->setText(track.title);
    m_artwork->setAccessibleName(tr("Cover of %1").arg(track.title));
    m_artist->setText(orUnknown(track.artist, kUnknownArtist));
    m_album->setText(orUnknown(track.album, kUnknownAlbum));
    m_details->setTrack(track);
    m_audioSection->setVisible(!m_details->rows().isEmpty());
    if (newSong) {
        m_coverBytes.clear();
        m_artwork->setImage({});
        loadArtwork(track);
    }
}

void NowPlayingPanelView::updateIndicator()
{
    // Said only of the song in the player; any other song is just shown.
    const PlaybackState state = m_environment.audioEngine.playbackState();
    const bool loaded = isShowingLoadedSong() && (state == PlaybackState::Playing || state == PlaybackState::Paused
                                                  || state == PlaybackState::Buffering);
    m_indicator->setVisible(loaded);
    m_indicator->setAnimating(loaded && state != PlaybackState::Paused);
}

void NowPlayingPanelView::applyTheme()
{
    const bool compact = m_environment.themeEngine.currentConfiguration().isCompactMode;
    const int margin = compact ? 12 : 18;
    m_contentLayout->setContentsMargins(margin, margin - 2, margin, margin);
    m_contentLayout->setSpacing(compact ? 4 : 8);
}

void NowPlayingPanelView::edited(const QUuid& id, const TrackPatch& patch)
{
    if (m_pendingEdit && m_pendingEdit->id != id)
        storePending();
    if (m_pendingEdit)
        m_pendingEdit->patch.merge(patch);
    else
        m_pendingEdit = PendingEdit {id, patch};
    m_storeTimer.start();
}

void NowPlayingPanelView::storePending()
{
    m_storeTimer.stop();
    if (!m_pendingEdit)
        return;
    PendingEdit edit = *std::exchange(m_pendingEdit, std::nullopt);
    // Typing that ends where it began changes nothing and is not stored.
    const SharedTrack record = m_environment.libraryEngine.allTracks().find(edit.id);
    if (!record || edit.patch.appliedTo(*record) == *record)
        return;
    store(edit.id, std::move(edit.patch));
}

QCoro::Task<> NowPlayingPanelView::store(QUuid id, TrackPatch patch)
{
    QPointer<NowPlayingPanelView> self(this);
    ++m_storing;
    std::optional<QString> failure;
    try {
        auto storing = m_environment.trackEditor.edit(id, std::move(patch));
        co_await storing;
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    if (!self)
        co_return;
    --m_storing;
    m_inspector->setError(failure);
}

QCoro::Task<> NowPlayingPanelView::loadArtwork(Track track)
{
    const quint64 generation = ++m_artworkGeneration;
    QPointer<NowPlayingPanelView> self(this);
    m_loadingArtwork = true;
    auto retrieving = m_environment.artworkCache.retrieveArtwork(track);
    std::optional<QByteArray> bytes;
    try {
        bytes = co_await retrieving;
    } catch (...) {
        bytes.reset();
    }
    if (!self || generation != m_artworkGeneration)
        co_return;
    const QByteArray cover = bytes.value_or(QByteArray());
    // The cache's version moves for any song's cover; this one's is decoded
    // again only when its bytes changed.
    if (cover == m_coverBytes && (cover.isEmpty() || !m_artwork->image().isNull())) {
        m_loadingArtwork = false;
        co_return;
    }
    m_coverBytes = cover;
    QImage image;
    if (!cover.isEmpty()) {
        auto decoding = runOn(QThreadPool::globalInstance(), [cover] { return decodeCover(cover); });
        image = co_await decoding;
        if (!self || generation != m_artworkGeneration)
            co_return;
    }
    m_artwork->setImage(std::move(image));
    m_loadingArtwork = false;
}

QMenu* NowPlayingPanelView::makeActionsMenu()
{
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("nowPlayingActionsMenu"));
    QAction* edit = menu->addAction(symbolIcon(u"pencil"), songs::kEditMetadata);
    connect(edit, &QAction::triggered, this, [this] {
        if (m_shown)
            emit editRequested(*m_shown);
    });
    QAction* reveal = menu->addAction(songs::kShowInFileManager);
    connect(reveal, &QAction::triggered, this, [this] {
        if (m_shown)
            m_environment.dialogs.revealFile(m_shown->fileURL);
    });
    return menu;
}

} // namespace varno
