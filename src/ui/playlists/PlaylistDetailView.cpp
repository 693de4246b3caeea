#include "PlaylistDetailView.h"

#include "library/AudioImportSupport.h"
#include "library/LibraryEngine.h"
#include "platform/Error.h"
#include "playlists/PlaylistEngine.h"
#include "ui/DesktopDialogs.h"
#include "ui/DropOverlay.h"
#include "ui/EmptyStateView.h"
#include "ui/Icons.h"
#include "ui/ViewEnvironment.h"
#include "ui/playlists/AddSongsModel.h"
#include "ui/playlists/AddSongsSheet.h"
#include "ui/playlists/PlaylistImport.h"
#include "ui/playlists/SmartPlaylistSetupView.h"
#include "ui/songs/TrackListView.h"
#include "ui/songs/TrackTableModel.h"
#include "playback/QueueEngine.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QPointer>
#include <QSet>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QUndoCommand>
#include <QUndoStack>
#include <QVBoxLayout>

#include <utility>

namespace varno {

namespace {
Q_LOGGING_CATEGORY(lcPlaylistView, "varno.playlists")

const QColor kErrorColor(0xff, 0x5f, 0x57);

QToolButton* makeHeaderButton(QWidget* parent, const char* objectName, const QIcon& icon, const QString& help)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setIcon(icon);
    button->setIconSize(QSize(17, 17));
    button->setFixedSize(30, 30);
    button->setAutoRaise(true);
    button->setToolTip(help);
    button->setAccessibleName(help);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

// Puts removed songs back, or takes them out again. Runs after the command
// that asked may be gone; the engine outlives the window but is watched all
// the same.
QCoro::Task<> changeSongs(QPointer<PlaylistEngine> engine, QUuid playlistID, QList<QUuid> songIDs, QList<qsizetype> positions, bool putBack)
{
    if (!engine)
        co_return;
    try {
        if (putBack) {
            auto inserting = engine->insertTracks(songIDs, positions, playlistID);
            co_await inserting;
        } else {
            auto removing = engine->removeTracks(positions, playlistID);
            co_await removing;
        }
    } catch (const std::exception& error) {
        qCWarning(lcPlaylistView).noquote() << (putBack ? "Undoing" : "Redoing") << "a removal from a playlist failed:" << describe(error);
    }
}

// A removal of songs from a playlist, on the window's undo stack. The
// engine runs operations in the order they are asked for, so an undo asked
// while a redo is still being written follows it.
class RemoveSongsCommand final : public QUndoCommand {
public:
    RemoveSongsCommand(PlaylistEngine& engine, QUuid playlistID, QList<QUuid> songIDs, QList<qsizetype> positions)
        : QUndoCommand(PlaylistDetailView::kRemoveUndoText)
        , m_engine(&engine)
        , m_playlistID(playlistID)
        , m_songIDs(std::move(songIDs))
        , m_positions(std::move(positions))
    {
    }

    void undo() override { auto putting = changeSongs(m_engine, m_playlistID, m_songIDs, m_positions, true); }

    void redo() override
    {
        // QUndoStack::push() calls redo() at once, but the removal being
        // registered has already happened.
        if (!std::exchange(m_pushed, true))
            return;
        auto removing = changeSongs(m_engine, m_playlistID, m_songIDs, m_positions, false);
    }

private:
    QPointer<PlaylistEngine> m_engine;
    QUuid m_playlistID;
    QList<QUuid> m_songIDs;
    QList<qsizetype> m_positions;
    bool m_pushed = false;
};

} // namespace

const QString PlaylistDetailView::kAddSongsHelp = QStringLiteral("Add songs from library");
const QString PlaylistDetailView::kImportHelp = QStringLiteral("Import songs");
const QString PlaylistDetailView::kPlayHelp = QStringLiteral("Play playlist");
const QString PlaylistDetailView::kEmptyTitle = QStringLiteral("This playlist is empty");
const QString PlaylistDetailView::kImportTitle = QStringLiteral("Import Songs");
const QString PlaylistDetailView::kImportButton = QStringLiteral("Import");
const QString PlaylistDetailView::kEditRulesHelp = QStringLiteral("Edit Rules");
const QString PlaylistDetailView::kNoMatchTitle = QStringLiteral("No songs match these rules");
const QString PlaylistDetailView::kPlaylistOrderHelp = QStringLiteral("Playlist Order");
const QString PlaylistDetailView::kRemoveUndoText = QStringLiteral("Remove from Playlist");

PlaylistDetailView::PlaylistDetailView(ViewEnvironment& environment, Playlist playlist, const SongListFactory& makeSongList,
                                       QWidget* parent, QUndoStack* undoStack)
    : QWidget(parent)
    , m_environment(environment)
    , m_playlist(std::move(playlist))
    , m_undoStack(undoStack)
{
    setObjectName(QStringLiteral("playlistDetail"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QWidget(this);
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(20, 16, 16, 12);
    headerLayout->setSpacing(6);
    m_title = new QLabel(header);
    m_title->setObjectName(QStringLiteral("playlistTitle"));
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.7);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_title->setMinimumWidth(80);
    headerLayout->addWidget(m_title, 1);

    m_addSongsButton = makeHeaderButton(header, "addSongsButton", symbolIcon(u"music.note.list"), kAddSongsHelp);
    m_importButton = makeHeaderButton(header, "importSongsButton", symbolIcon(u"square.and.arrow.down"), kImportHelp);
    m_editRulesButton = makeHeaderButton(header, "editRulesButton", symbolIcon(u"slider.horizontal.3"), kEditRulesHelp);
    auto* order = makeHeaderButton(header, "playlistOrderButton", QIcon(), kPlaylistOrderHelp);
    order->setText(QStringLiteral("#"));
    order->setCheckable(true);
    QFont orderFont = order->font();
    orderFont.setBold(true);
    order->setFont(orderFont);
    m_orderButton = order;
    auto* play = makeHeaderButton(header, "playPlaylistButton", symbolIcon(u"play.fill", Qt::white), kPlayHelp);
    play->setAutoRaise(false);
    // The one prominent button: filled with the accent, round.
    const QColor accent = palette().color(QPalette::Highlight);
    play->setStyleSheet(QStringLiteral("QToolButton { background: %1; border: none; border-radius: 15px; }"
                                       "QToolButton:hover { background: %2; }"
                                       "QToolButton:pressed { background: %3; }"
                                       "QToolButton:disabled { background: rgba(255, 255, 255, 20); }")
                            .arg(accent.name(), accent.lighter(115).name(), accent.darker(115).name()));
    m_playButton = play;
    headerLayout->addWidget(m_orderButton);
    headerLayout->addWidget(m_addSongsButton);
    headerLayout->addWidget(m_importButton);
    headerLayout->addWidget(m_editRulesButton);
    headerLayout->addSpacing(4);
    headerLayout->addWidget(m_playButton);
    layout->addWidget(header);

    m_errorLabel = new QLabel(this);
    m_errorLabel->setObjectName(QStringLiteral("playlistImportError"));
    m_errorLabel->setWordWrap(true);
    m_errorLabel->setContentsMargins(20, 0, 20, 10);
    QPalette errorPalette = m_errorLabel->palette();
    errorPalette.setColor(QPalette::WindowText, kErrorColor);
    m_errorLabel->setPalette(errorPalette);
    m_errorLabel->hide();
    layout->addWidget(m_errorLabel);

    m_content = new QStackedWidget(this);
    m_songList = makeSongList(m_content);
    m_emptyState = new EmptyStateView(QStringLiteral("music.note.list"), kEmptyTitle, QString(), m_content);
    m_content->addWidget(m_songList);
    m_content->addWidget(m_emptyState);
    m_content->setCurrentWidget(m_emptyState);
    layout->addWidget(m_content, 1);

    m_title->setText(m_playlist.name);
    editSongsThrough(qobject_cast<TrackListView*>(m_songList));
    showKind();
    m_playButton->setEnabled(false);
    if (!isFolder() && !m_playlist.type.isLiveSmart()) {
        auto* overlay = new DropOverlay(this);
        connect(overlay, &DropOverlay::filesDropped, this, &PlaylistDetailView::importFiles);
    }

    connect(m_addSongsButton, &QAbstractButton::clicked, this, &PlaylistDetailView::openAddSongs);
    connect(m_importButton, &QAbstractButton::clicked, this, &PlaylistDetailView::chooseFilesToImport);
    connect(m_playButton, &QAbstractButton::clicked, this, &PlaylistDetailView::playPlaylist);
    connect(m_editRulesButton, &QAbstractButton::clicked, this, &PlaylistDetailView::openRulesEditor);
    connect(m_orderButton, &QAbstractButton::clicked, this, [this] {
        if (m_list)
            m_list->model().setSortOrder(TrackSortOrder::listed());
        showOrder();
    });
    connect(&m_environment.playlistEngine, &PlaylistEngine::rootPlaylistsChanged, this, &PlaylistDetailView::playlistsChanged);
    connect(&m_environment.libraryEngine, &LibraryEngine::tracksChanged, this, &PlaylistDetailView::scheduleResolve);
}

PlaylistDetailView::~PlaylistDetailView() = default;

bool PlaylistDetailView::isFolder() const
{
    return m_playlist.type.kind() == PlaylistType::Kind::Folder;
}

void PlaylistDetailView::showKind()
{
    // A folder holds no songs of its own, and a live smart playlist's follow
    // its rules: the engine refuses to add any to either.
    const bool live = m_playlist.type.isLiveSmart();
    m_addSongsButton->setVisible(!isFolder() && !live);
    m_importButton->setVisible(!isFolder() && !live);
    m_editRulesButton->setVisible(m_playlist.type.kind() == PlaylistType::Kind::Smart);
    m_orderButton->setVisible(m_list && !isFolder());
    if (m_list) {
        const bool handEdited = !isFolder() && !live;
        m_list->setSongRemoval(handEdited ? [this](const std::vector<QUuid>& ids) { removeSongs(ids); } : std::function<void(const std::vector<QUuid>&)>());
        m_list->setSongReordering(handEdited ? [this](const std::vector<QUuid>& ids, int beforeRow) { moveSongs(ids, beforeRow); }
                                             : std::function<void(const std::vector<QUuid>&, int)>());
    }
    m_emptyState->setContent(QStringLiteral("music.note.list"), live ? kNoMatchTitle : kEmptyTitle, QString());
}

void PlaylistDetailView::editSongsThrough(TrackListView* list)
{
    m_list = list;
    if (!m_list)
        return;
    connect(&m_list->model(), &TrackTableModel::sortOrderChanged, this, &PlaylistDetailView::showOrder);
    showOrder();
}

void PlaylistDetailView::showOrder()
{
    m_orderButton->setChecked(m_list && m_list->model().sortOrder().asListed);
}

void PlaylistDetailView::removeSongs(const std::vector<QUuid>& songIDs)
{
    // Every place the songs are listed goes: the selection is by song, so
    // each of them shows selected.
    const QSet<QUuid> chosen(songIDs.begin(), songIDs.end());
    QList<QUuid> ids;
    QList<qsizetype> positions;
    for (qsizetype at = 0; at < m_playlist.trackIDs.size(); ++at) {
        if (chosen.contains(m_playlist.trackIDs[at])) {
            ids.push_back(m_playlist.trackIDs[at]);
            positions.push_back(at);
        }
    }
    if (positions.isEmpty())
        return;
    auto removing = runRemoval(std::move(ids), std::move(positions));
}

QCoro::Task<> PlaylistDetailView::runRemoval(QList<QUuid> songIDs, QList<qsizetype> positions)
{
    const QPointer<PlaylistDetailView> self(this);
    PlaylistEngine& engine = m_environment.playlistEngine;
    const QUuid playlistID = m_playlist.id;
    const QPointer<QUndoStack> undoStack(m_undoStack);
    std::optional<QString> failure;
    try {
        auto removing = engine.removeTracks(positions, playlistID);
        co_await removing;
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!failure && undoStack)
        undoStack->push(new RemoveSongsCommand(engine, playlistID, std::move(songIDs), std::move(positions)));
    if (!self)
        co_return;
    if (failure)
        setImportError(failure);
    emit songsEdited();
}

void PlaylistDetailView::moveSongs(const std::vector<QUuid>& songIDs, int beforeRow)
{
    const QSet<QUuid> moving(songIDs.begin(), songIDs.end());
    const QList<QUuid>& listed = m_playlist.trackIDs;
    // The rows are the playlist's songs that are in the library, in order:
    // matched one by one, row `beforeRow` is found among the stored ids.
    qsizetype before = listed.size();
    std::size_t row = 0;
    for (qsizetype at = 0; at < listed.size() && row < m_tracks.size(); ++at) {
        if (listed[at] != m_tracks[row].id)
            continue;
        if (row == static_cast<std::size_t>(std::max(beforeRow, 0))) {
            before = at;
            break;
        }
        ++row;
    }
    QList<qsizetype> positions;
    for (qsizetype at = 0; at < listed.size(); ++at) {
        if (moving.contains(listed[at]))
            positions.push_back(at);
    }
    if (positions.isEmpty())
        return;
    auto reordering = runMove(std::move(positions), before);
}

QCoro::Task<> PlaylistDetailView::runMove(QList<qsizetype> positions, qsizetype before)
{
    const QPointer<PlaylistDetailView> self(this);
    std::optional<QString> failure;
    try {
        auto moving = m_environment.playlistEngine.moveTracks(std::move(positions), before, m_playlist.id);
        co_await moving;
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!self)
        co_return;
    if (failure)
        setImportError(failure);
    emit songsEdited();
}

void PlaylistDetailView::openRulesEditor()
{
    auto* sheet = new SmartPlaylistSetupView(m_environment.playlistEngine, m_playlist, window());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
}

void PlaylistDetailView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // While hidden, changes only mark the songs stale; nothing changed
    // otherwise, so a view shown again keeps what it resolved.
    if (!m_resolved || m_stale)
        resolveTracks();
}

void PlaylistDetailView::resolveTracks()
{
    m_resolvePending = false;
    m_stale = false;
    m_resolved = true;
    m_tracks = m_environment.playlistEngine.getTracks(m_playlist.id);
    m_content->setCurrentWidget(m_tracks.empty() ? static_cast<QWidget*>(m_emptyState) : m_songList);
    m_playButton->setEnabled(!m_tracks.empty() && !m_playing);
    emit tracksResolved(m_tracks);
}

void PlaylistDetailView::scheduleResolve()
{
    if (!isVisible()) {
        m_stale = true;
        return;
    }
    // An import publishes the library many times in a row; the songs are
    // resolved once the burst has been delivered.
    if (m_resolvePending)
        return;
    m_resolvePending = true;
    QTimer::singleShot(0, this, [this] {
        if (m_resolvePending)
            resolveTracks();
    });
}

void PlaylistDetailView::playlistsChanged()
{
    if (std::optional<Playlist> current = m_environment.playlistEngine.findPlaylist(m_playlist.id)) {
        m_playlist = std::move(*current);
        m_title->setText(m_playlist.name);
        showKind();
    }
    scheduleResolve();
}

void PlaylistDetailView::setImportError(std::optional<QString> error)
{
    m_importError = std::move(error);
    m_errorLabel->setText(m_importError.value_or(QString()));
    m_errorLabel->setVisible(m_importError.has_value());
    emit importErrorChanged();
}

void PlaylistDetailView::playPlaylist()
{
    if (m_playing)
        return;
    // In the order shown: sorted by a column, the songs play that way.
    if (m_list && !isFolder()) {
        const TrackList& shown = m_list->model().shownTracks().tracks;
        if (!shown.empty())
            m_environment.queueEngine.playNow(shown, 0);
        return;
    }
    auto queuing = queuePlaylist();
}

QCoro::Task<> PlaylistDetailView::queuePlaylist()
{
    const QPointer<PlaylistDetailView> self(this);
    m_playing = true;
    m_playButton->setEnabled(false);
    std::optional<QString> failure;
    try {
        auto queuing = m_environment.playlistEngine.queuePlaylist(m_playlist.id);
        co_await queuing;
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!self) {
        if (failure)
            qCWarning(lcPlaylistView) << "Playing a playlist failed after its view was gone:" << *failure;
        co_return;
    }
    m_playing = false;
    m_playButton->setEnabled(!m_tracks.empty());
    if (failure)
        setImportError(failure);
}

void PlaylistDetailView::chooseFilesToImport()
{
    std::vector<FileURL> urls = m_environment.dialogs.chooseFiles(this, kImportTitle, kImportButton,
                                                                  AudioImportSupport::supportedAudioExtensions());
    if (!urls.empty())
        importFiles(std::move(urls));
}

void PlaylistDetailView::importFiles(std::vector<FileURL> urls)
{
    if (isFolder() || urls.empty())
        return;
    auto importing = importAndAdd(std::move(urls));
}

QCoro::Task<> PlaylistDetailView::importAndAdd(std::vector<FileURL> urls)
{
    const QPointer<PlaylistDetailView> self(this);
    std::optional<QString> failure;
    bool added = false;
    try {
        auto importing = varno::importIntoPlaylist(m_environment.libraryEngine, m_environment.playlistEngine, m_playlist.id, std::move(urls));
        added = co_await importing;
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!self) {
        if (failure)
            qCWarning(lcPlaylistView) << "Importing into a playlist failed after its view was gone:" << *failure;
        co_return;
    }
    if (failure)
        setImportError(failure);
    else if (added)
        resolveTracks();
    emit importFinished();
}

void PlaylistDetailView::openAddSongs()
{
    if (isFolder())
        return;
    if (!m_sheet) {
        m_sheet = new AddSongsSheet(this);
        connect(m_sheet, &AddSongsSheet::addRequested, this, [this](const TrackList& tracks) { auto adding = addFromSheet(tracks); });
    }
    fillSheet();
    m_sheet->open();
}

void PlaylistDetailView::fillSheet()
{
    // The songs not yet in the playlist, as they are when the sheet opens:
    // offering the others would only let "Add" skip them, and a list that
    // changed under the user's clicks would tick the wrong songs.
    const std::optional<Playlist> current = m_environment.playlistEngine.findPlaylist(m_playlist.id);
    const QList<QUuid>& inPlaylist = current ? current->trackIDs : m_playlist.trackIDs;
    const QSet<QUuid> present(inPlaylist.begin(), inPlaylist.end());
    TrackList offered;
    const TrackList& library = m_environment.libraryEngine.allTracks();
    offered.reserve(library.size());
    for (const SharedTrack& song : library.sharedSongs()) {
        if (!present.contains(song->id))
            offered.append(song);
    }
    m_sheet->model().setTracks(std::move(offered));
}

QCoro::Task<> PlaylistDetailView::addFromSheet(TrackList tracks)
{
    const QPointer<PlaylistDetailView> self(this);
    std::optional<QString> failure;
    try {
        auto adding = m_environment.playlistEngine.addTracks(std::move(tracks), m_playlist.id);
        co_await adding;
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!self) {
        if (failure)
            qCWarning(lcPlaylistView) << "Adding songs to a playlist failed after its view was gone:" << *failure;
        co_return;
    }
    if (failure) {
        setImportError(failure);
        m_sheet->showFailure(*failure);
        co_return;
    }
    m_sheet->finishAdding();
    resolveTracks();
}

} // namespace varno
