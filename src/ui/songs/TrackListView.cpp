#include "TrackListView.h"

#include "library/AudioImportSupport.h"
#include "library/LibraryEngine.h"
#include "media/ArtworkCache.h"
#include "media/ArtworkFile.h"
#include "media/ThemeEngine.h"
#include "platform/Error.h"
#include "playback/AudioEngine.h"
#include "playback/QueueEngine.h"
#include "edits/TrackEditor.h"
#include "ui/DesktopDialogs.h"
#include "ui/DropOverlay.h"
#include "ui/EmptyStateView.h"
#include "ui/Icons.h"
#include "ui/InspectedSongState.h"
#include "ui/ThemeApplier.h"
#include "ui/songs/SongMenu.h"
#include "ui/songs/TrackListHeaderView.h"
#include "ui/songs/TrackListSource.h"
#include "ui/songs/TrackListTexts.h"
#include "ui/songs/TrackTableModel.h"
#include "ui/songs/TrackTableView.h"
#include "ui/songs/TrackThumbnailCache.h"
#include "workspace/ImportReport.h"
#include "workspace/ShortcutContext.h"
#include "workspace/TrackTableLayoutState.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace varno {

namespace {

// A line across the list with a symbol, a message and a button that
// dismisses it.
QWidget* makeMessageBar(QWidget* parent, const QString& objectName, const QColor& tint, const QString& symbol, QLabel*& text,
                        const QString& buttonText, QObject* receiver, const std::function<void()>& dismiss)
{
    auto* bar = new QWidget(parent);
    bar->setObjectName(objectName);
    bar->setAutoFillBackground(true);
    QPalette colors = bar->palette();
    colors.setColor(QPalette::Window, tint);
    bar->setPalette(colors);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(16, 8, 12, 8);
    row->setSpacing(10);
    auto* icon = new QLabel(bar);
    icon->setPixmap(symbolIcon(symbol).pixmap(16, 16));
    icon->setAlignment(Qt::AlignTop);
    text = new QLabel(bar);
    text->setObjectName(objectName + QStringLiteral("Text"));
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* button = new QToolButton(bar);
    button->setObjectName(objectName + QStringLiteral("Dismiss"));
    button->setText(buttonText);
    button->setAccessibleName(buttonText);
    button->setToolTip(buttonText);
    button->setIcon(symbolIcon(u"xmark"));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    QObject::connect(button, &QToolButton::clicked, receiver, dismiss);
    row->addWidget(icon);
    row->addWidget(text, 1);
    row->addWidget(button, 0, Qt::AlignTop);
    bar->hide();
    return bar;
}

} // namespace

TrackListOptions TrackListOptions::library(const QString& title)
{
    return {title, {songs::kLibraryEmptySymbol, songs::kLibraryEmptyTitle, songs::kLibraryEmptySubtitle}, true};
}

TrackListOptions TrackListOptions::favorites()
{
    return {songs::kFavoritesTitle, {songs::kFavoritesEmptySymbol, songs::kFavoritesEmptyTitle, songs::kFavoritesEmptySubtitle}, false};
}

TrackListView::TrackListView(ViewEnvironment environment, std::unique_ptr<TrackListSource> source, TrackListOptions options,
                             QUndoStack* undoStack, QWidget* parent)
    : QWidget(parent)
    , m_environment(environment)
    , m_source(std::move(source))
    , m_options(std::move(options))
    , m_undoStack(undoStack)
    , m_removal(environment.libraryEngine, &environment.queueEngine, undoStack)
    , m_sharedEdit(environment.trackEditor, environment.artworkCache)
{
    setObjectName(QStringLiteral("songList"));
    m_model = new TrackTableModel(*m_source, m_environment, this, m_options.sortOrder);
    m_header = new TrackListHeaderView(m_options.title, this);

    m_importErrorBar = makeMessageBar(this, QStringLiteral("importError"), QColor(0x4a, 0x1f, 0x24), QStringLiteral("exclamationmark.triangle.fill"),
                                      m_importErrorText, songs::kDismissImportError, this, [this] { dismissImportError(); });
    m_importNoticeBar = makeMessageBar(this, QStringLiteral("importNotice"), QColor(0x1d, 0x33, 0x4d), QStringLiteral("info.circle"),
                                       m_importNoticeText, songs::kDismissImportError, this, [this] { dismissImportNotice(); });
    m_layoutMessageBar = makeMessageBar(this, QStringLiteral("columnLayoutMessage"), QColor(0x4a, 0x3a, 0x14),
                                        QStringLiteral("arrow.clockwise.circle.fill"), m_layoutMessageText, songs::kDismissMessage, this,
                                        [this] { m_environment.trackTableLayout.dismissRecoveryMessage(); });

    m_content = new QStackedWidget(this);
    m_table = new TrackTableView(*m_model, m_environment.trackTableLayout, m_undoStack, m_content);
    const auto followTheme = [this] {
        const ThemeConfiguration& theme = m_environment.themeEngine.currentConfiguration();
        m_table->setRowMetrics(ThemeApplier::songRowHeight(theme), ThemeApplier::cornerRadius(theme, 4));
    };
    followTheme();
    connect(&m_environment.themeEngine, &ThemeEngine::configurationChanged, this, followTheme);
    m_emptyState = new EmptyStateView(m_options.emptyState.systemImage, m_options.emptyState.title, m_options.emptyState.subtitle, m_content);
    m_content->addWidget(m_table);
    m_content->addWidget(m_emptyState);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_header);
    layout->addWidget(m_importErrorBar);
    layout->addWidget(m_importNoticeBar);
    layout->addWidget(m_layoutMessageBar);
    layout->addWidget(m_content, 1);

    if (m_options.importsIntoLibrary) {
        m_addSongsAction = new QAction(symbolIcon(u"plus"), songs::kAddSongs, this);
        m_addSongsAction->setToolTip(songs::kAddSongs);
        connect(m_addSongsAction, &QAction::triggered, this, &TrackListView::addSongs);
        addHeaderAction(m_addSongsAction);
        m_dropOverlay = new DropOverlay(m_content);
        connect(m_dropOverlay, &DropOverlay::filesDropped, this, [this](const std::vector<FileURL>& files) { importFiles(files); });
    }

    m_table->setAccessibleName(m_options.title.isEmpty() ? songs::kSongsTableName : m_options.title);
    // The header's buttons come before the rows, as they are drawn.
    QWidget::setTabOrder(m_header->lastActionButton(), m_table);
    connect(m_header->editAction(), &QAction::triggered, this, &TrackListView::editSelection);
    connect(m_table, &TrackTableView::rowClicked, this, &TrackListView::onRowClicked);
    connect(m_table, &TrackTableView::rowDoubleClicked, this, &TrackListView::onRowDoubleClicked);
    connect(m_table, &TrackTableView::controlClicked, this, &TrackListView::onControlClicked);
    connect(m_table, &TrackTableView::rowContextMenuRequested, this, [this](int row, const QPoint& at) { makeContextMenu(row)->popup(at); });
    connect(m_table, &TrackTableView::deleteRequested, this, [this] {
        if (m_removeSongs && m_model->selectionCount() > 0)
            removeChosenSongs(-1);
    });
    connect(m_table, &TrackTableView::rowsDropped, this, [this](const std::vector<QUuid>& ids, int beforeRow) {
        if (m_moveSongs && m_model->sortOrder().asListed)
            m_moveSongs(ids, beforeRow);
    });
    connect(m_model, &TrackTableModel::sortOrderChanged, this, &TrackListView::updateRowDrops);
    connect(m_model, &TrackTableModel::selectionChanged, this, &TrackListView::updateCounts);
    connect(m_model, &TrackTableModel::trackCountChanged, this, &TrackListView::updateCounts);
    connect(&m_commandTarget, &TrackListSelectionCommandTarget::commandSent, this, &TrackListView::handleCommand);
    // Alerts are modal: they are shown once the coordinator has finished
    // publishing, not from inside its signal.
    connect(&m_removal, &TrackRemovalCoordinator::errorMessageChanged, this, &TrackListView::showRemovalError, Qt::QueuedConnection);
    connect(&m_sharedEdit, &TrackMetadataBatchCoordinator::errorMessageChanged, this, &TrackListView::showMetadataError, Qt::QueuedConnection);
    connect(&m_environment.trackTableLayout, &TrackTableLayoutState::recoveryMessageChanged, this, &TrackListView::updateLayoutMessage);

    updateCounts();
    updateLayoutMessage();
}

TrackListView::~TrackListView()
{
    if (m_filtersKeys)
        qApp->removeEventFilter(this);
    // The model reads the source while it goes.
    delete m_content;
    delete m_model;
}

bool TrackListView::isShowingEmptyState() const
{
    return m_content->currentWidget() == m_emptyState;
}

void TrackListView::setTitle(const QString& title)
{
    m_options.title = title;
    m_header->setTitle(title);
    // A screen reader names the table after the list ("All Songs"); a list
    // shown under its screen's own title (a playlist's) is just "Songs".
    m_table->setAccessibleName(title.isEmpty() ? songs::kSongsTableName : title);
}

void TrackListView::addHeaderAction(QAction* action)
{
    m_header->addHeaderAction(action);
    if (m_table)
        QWidget::setTabOrder(m_header->lastActionButton(), m_table);
}

// --- Rows ------------------------------------------------------------------

void TrackListView::onRowClicked(int row, Qt::KeyboardModifiers modifiers)
{
    m_model->clickRow(row, selectionClicks(modifiers));
    // The inspector follows the song clicked, unless the click took it out
    // of the selection.
    if (m_model->isSelected(row))
        m_environment.inspection.setSelectedTrack(m_model->trackAt(row));
}

void TrackListView::onRowDoubleClicked(int row)
{
    m_model->selectOnly(row);
    playSong(Track(m_model->trackAt(row)));
}

void TrackListView::onControlClicked(int row, TrackRowControl control)
{
    switch (control) {
    case TrackRowControl::Play:
        playOrPauseRow(row);
        return;
    case TrackRowControl::Favorite:
        toggleFavorite(row);
        return;
    case TrackRowControl::Edit:
        emit editMetadataRequested(m_model->trackAt(row));
        return;
    case TrackRowControl::None:
        return;
    }
}

void TrackListView::playSong(const Track& track)
{
    m_environment.inspection.setSelectedTrack(track);
    m_environment.inspection.setInspectorVisible(true);
    const ShownTracks& shown = m_model->shownTracks();
    const auto found = std::find(shown.ids.begin(), shown.ids.end(), track.id);
    if (found != shown.ids.end())
        m_environment.queueEngine.playNow(shown.tracks, static_cast<int>(found - shown.ids.begin()));
    else
        m_environment.queueEngine.playNow(TrackList {track}, 0);
}

void TrackListView::playOrPauseRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const Track& track = m_model->trackAt(row);
    const std::optional<Track>& current = m_environment.queueEngine.currentTrack();
    if (current && current->id == track.id && m_environment.audioEngine.playbackState() == PlaybackState::Playing) {
        m_environment.audioEngine.pause();
        return;
    }
    // Any other case starts the song over, within the shown list.
    playSong(Track(track));
}

void TrackListView::editRow(int row)
{
    if (m_model->selectionCount() >= 2 && m_model->isSelected(row))
        editSelection();
    else
        emit editMetadataRequested(m_model->trackAt(row));
}

void TrackListView::editSelection()
{
    std::vector<Track> selected = m_model->selectedTracks();
    if (selected.empty())
        return;
    if (selected.size() == 1) {
        emit editMetadataRequested(selected.front());
        return;
    }
    m_sharedEdit.beginEditing(std::move(selected));
    emit sharedMetadataEditorRequested();
}

void TrackListView::selectAll()
{
    m_model->selectAll();
}

void TrackListView::deselectAll()
{
    m_model->clearSelection();
    m_environment.inspection.setSelectedTrack(std::nullopt);
}

void TrackListView::handleCommand(TrackListSelectionCommand command)
{
    switch (command) {
    case TrackListSelectionCommand::SelectAll:
        selectAll();
        return;
    case TrackListSelectionCommand::DeselectAll:
        deselectAll();
        return;
    case TrackListSelectionCommand::EditSelection:
        editSelection();
        return;
    }
}

// --- Favourites ------------------------------------------------------------

void TrackListView::toggleFavorite(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QUuid id = m_model->trackAt(row).id;
    const bool favorite = !m_model->isFavorite(row);
    // Shown at once; the row follows the library once the save is done.
    m_model->setPendingFavorite(id, favorite);
    const quint64 attempt = m_nextFavoriteSave++;
    m_favoriteSaves.insert(id, attempt);
    auto saving = saveFavorite(id, favorite, attempt);
}

QCoro::Task<> TrackListView::saveFavorite(QUuid id, bool favorite, quint64 attempt)
{
    const QPointer<TrackListView> self(this);
    ++m_runningOperations;
    bool failed = false;
    try {
        auto saving = m_environment.trackEditor.setFavorite(id, favorite);
        co_await std::move(saving);
    } catch (const std::exception&) {
        failed = true;
    }
    if (!self)
        co_return;
    --m_runningOperations;
    if (m_favoriteSaves.value(id) == attempt) {
        m_favoriteSaves.remove(id);
        m_model->setPendingFavorite(id, std::nullopt);
    }
    if (failed)
        m_environment.dialogs.showAlert(this, songs::kFavoriteFailedTitle, songs::kFavoriteFailedMessage);
}

// --- Artwork and the file --------------------------------------------------

void TrackListView::chooseArtwork(const Track& track)
{
    const std::optional<FileURL> file = m_environment.dialogs.chooseImageFile(this, songs::kChooseArtworkTitle);
    if (!file)
        return;
    auto storing = storeArtwork(track, *file);
}

QCoro::Task<> TrackListView::storeArtwork(Track track, FileURL file)
{
    const QPointer<TrackListView> self(this);
    ++m_runningOperations;
    TrackEditor& editor = m_environment.trackEditor;
    std::optional<QString> failure;
    try {
        auto loading = loadArtworkFile(file);
        QByteArray data = co_await std::move(loading);
        auto storing = editor.setArtwork(track, std::move(data));
        co_await std::move(storing);
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!self)
        co_return;
    --m_runningOperations;
    if (failure)
        m_environment.dialogs.showAlert(this, songs::kArtworkFailedTitle, *failure);
    else
        m_model->thumbnails().forget(track.id);
}

void TrackListView::removeArtwork(const Track& track)
{
    auto removing = deleteArtwork(track);
}

QCoro::Task<> TrackListView::deleteArtwork(Track track)
{
    const QPointer<TrackListView> self(this);
    ++m_runningOperations;
    TrackEditor& editor = m_environment.trackEditor;
    std::optional<QString> failure;
    try {
        auto removing = editor.removeArtwork(track);
        co_await std::move(removing);
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!self)
        co_return;
    --m_runningOperations;
    if (failure)
        m_environment.dialogs.showAlert(this, songs::kArtworkRemovalFailedTitle, *failure);
    else
        m_model->thumbnails().forget(track.id);
}

// --- Removal ---------------------------------------------------------------

void TrackListView::removeFromPlayer(const Track& track)
{
    auto removing = m_removal.startRemoval(track, RemovalKind::KeepFile, TrackRemovalCoordinator::UndoRegistration::Register);
}

void TrackListView::deletePermanently(const Track& track)
{
    if (m_removal.inFlightTrackID()) {
        m_environment.dialogs.showAlert(this, QString(), TrackRemovalCoordinator::kBusyMessage);
        return;
    }
    m_removal.requestPermanentDeletion(track);
    const bool confirmed = m_environment.dialogs.confirmDestructive(this, songs::kDeleteConfirmationTitle, songs::deleteConfirmationMessage(track.title),
                                                                    songs::kDeleteConfirmationButton);
    if (!confirmed) {
        m_removal.cancelPermanentDeletion();
        return;
    }
    auto deleting = m_removal.confirmPermanentDeletion();
}

void TrackListView::showRemovalError()
{
    const std::optional<QString> message = m_removal.errorMessage();
    if (!message)
        return;
    m_removal.clearErrorMessage();
    if (*message == TrackRemovalCoordinator::kBusyMessage)
        m_environment.dialogs.showAlert(this, QString(), *message);
    else
        m_environment.dialogs.showAlert(this, songs::kRemovalFailedTitle, message->isEmpty() ? songs::kRemovalFailedFallback : *message);
}

void TrackListView::showMetadataError()
{
    const std::optional<QString>& message = m_sharedEdit.errorMessage();
    if (!message)
        return;
    // A closed editor means the edit was saved, to the songs still there.
    const QString& title = m_sharedEdit.batch() ? songs::kMetadataUpdateFailedTitle : songs::kMetadataPartlySavedTitle;
    m_environment.dialogs.showAlert(this, title, message->isEmpty() ? songs::kMetadataUpdateFailedFallback : *message);
}

// --- Context menu ----------------------------------------------------------

QMenu* TrackListView::makeContextMenu(int row)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (row < 0 || row >= m_model->rowCount())
        return menu;
    // The song as it is now; the actions run later, when the row may have
    // moved.
    const Track track = m_model->trackAt(row);
    const QUuid id = track.id;
    const auto rowNow = [this, id] { return m_model->rowOfID(id); };

    connect(menu->addAction(songs::kPlayNow), &QAction::triggered, this, [this, track] { playSong(track); });
    const TrackList chosen = songsForRow(row);
    addSongHandOffItems(*menu, m_environment, this, [chosen] { return chosen; },
                        [this](const Playlist& playlist) { emit playlistCreated(playlist); });
    menu->addSeparator();
    const bool shared = m_model->selectionCount() >= 2 && m_model->isSelected(row);
    QAction* edit = menu->addAction(shared ? songs::editSharedMetadataItem(m_model->selectionCount()) : songs::kEditMetadata);
    connect(edit, &QAction::triggered, this, [this, rowNow] {
        if (const int at = rowNow(); at >= 0)
            editRow(at);
    });
    QAction* favorite = menu->addAction(m_model->isFavorite(row) ? songs::kRemoveFromFavorites : songs::kAddToFavorites);
    connect(favorite, &QAction::triggered, this, [this, rowNow] { toggleFavorite(rowNow()); });
    menu->addSeparator();
    connect(menu->addAction(songs::kChooseArtwork), &QAction::triggered, this, [this, track] { chooseArtwork(track); });
    connect(menu->addAction(songs::kRemoveArtwork), &QAction::triggered, this, [this, track] { removeArtwork(track); });
    connect(menu->addAction(songs::kShowInFileManager), &QAction::triggered, this, [this, track] { m_environment.dialogs.revealFile(track.fileURL); });
    menu->addSeparator();
    if (m_removeSongs)
        connect(menu->addAction(songs::kRemoveFromPlaylist), &QAction::triggered, this, [this, rowNow] { removeChosenSongs(rowNow()); });
    connect(menu->addAction(songs::kRemoveFromPlayer), &QAction::triggered, this, [this, track] { removeFromPlayer(track); });
    connect(menu->addAction(songs::kDeletePermanently), &QAction::triggered, this, [this, track] { deletePermanently(track); });
    return menu;
}

TrackList TrackListView::songsForRow(int row) const
{
    if (row >= 0 && row < m_model->rowCount() && !m_model->isSelected(row))
        return TrackList(QList<SharedTrack> {m_model->sharedTrackAt(row)});
    QList<SharedTrack> chosen;
    for (int at = 0; at < m_model->rowCount(); ++at) {
        if (m_model->isSelected(at))
            chosen.append(m_model->sharedTrackAt(at));
    }
    return TrackList(std::move(chosen));
}

// --- A playlist's own songs --------------------------------------------------

void TrackListView::setSongRemoval(std::function<void(const std::vector<QUuid>&)> remove)
{
    m_removeSongs = std::move(remove);
}

void TrackListView::setSongReordering(std::function<void(const std::vector<QUuid>&, int)> move)
{
    m_moveSongs = std::move(move);
    updateRowDrops();
}

void TrackListView::updateRowDrops()
{
    // Rows sorted by a column have no place of their own to be dropped at.
    m_table->setAcceptsRowDrops(m_moveSongs && m_model->sortOrder().asListed);
}

void TrackListView::removeChosenSongs(int row)
{
    std::vector<QUuid> ids;
    for (const Track& song : songsForRow(row))
        ids.push_back(song.id);
    if (!ids.empty() && m_removeSongs)
        m_removeSongs(ids);
}

// --- Import ----------------------------------------------------------------

void TrackListView::addSongs()
{
    std::vector<FileURL> files = m_environment.dialogs.chooseFiles(this, songs::kAddSongs, songs::kAddSongsAccept, AudioImportSupport::supportedAudioExtensions());
    if (!files.empty())
        importFiles(std::move(files));
}

void TrackListView::importFiles(std::vector<FileURL> files)
{
    setImportError(std::nullopt);
    setImportNotice(std::nullopt);
    auto importing = runImport(std::move(files));
}

QCoro::Task<> TrackListView::runImport(std::vector<FileURL> urls)
{
    const QPointer<TrackListView> self(this);
    ++m_runningOperations;
    // A dropped folder brings in everything under it, as "Add Folder to
    // Library..." does.
    std::vector<FileURL> folders;
    std::vector<FileURL> files;
    for (FileURL& url : urls)
        (QFileInfo(url.toLocalFile()).isDir() ? folders : files).push_back(std::move(url));
    LibraryEngine& library = m_environment.libraryEngine;
    std::optional<QString> failure;
    ImportSummary summary;
    try {
        auto importing = library.importPaths(std::move(folders), std::move(files));
        summary = co_await std::move(importing);
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!self)
        co_return;
    --m_runningOperations;
    if (failure) {
        setImportError(failure);
        co_return;
    }
    const ImportReport report = reportImport(summary, songs::kNothingImported);
    const QString text = report.message + QLatin1Char('\n') + report.details;
    if (report.kind == ImportReport::Kind::Failure)
        setImportError(text);
    else if (report.kind == ImportReport::Kind::Notice)
        setImportNotice(text);
}

void TrackListView::dismissImportError()
{
    setImportError(std::nullopt);
}

void TrackListView::dismissImportNotice()
{
    setImportNotice(std::nullopt);
}

void TrackListView::setImportNotice(std::optional<QString> notice)
{
    if (notice == m_importNotice)
        return;
    m_importNotice = std::move(notice);
    m_importNoticeText->setText(m_importNotice.value_or(QString()));
    m_importNoticeBar->setVisible(m_importNotice.has_value());
    emit importNoticeChanged();
}

void TrackListView::setImportError(std::optional<QString> error)
{
    if (error == m_importError)
        return;
    m_importError = std::move(error);
    m_importErrorText->setText(m_importError.value_or(QString()));
    m_importErrorBar->setVisible(m_importError.has_value());
    emit importErrorChanged();
}

// --- State shown around the table -------------------------------------------

void TrackListView::updateCounts()
{
    const qsizetype tracks = m_model->rowCount();
    const qsizetype selected = m_model->selectionCount();
    m_header->setCounts(tracks, selected);
    m_commandTarget.setTrackCount(tracks);
    m_commandTarget.setSelectionCount(selected);
    m_content->setCurrentWidget(tracks == 0 ? static_cast<QWidget*>(m_emptyState) : m_table);
    updateShortcuts();
}

void TrackListView::updateShortcuts()
{
    const qsizetype tracks = m_model->rowCount();
    const qsizetype selected = m_model->selectionCount();
    TrackListShortcutConfiguration configuration;
    configuration.isEnabled = isVisible();
    configuration.canSelect = tracks > 0;
    configuration.canDeselect = selected > 0;
    configuration.canEdit = selected > 0;
    configuration.selectAll = [this] { selectAll(); };
    configuration.deselectAll = [this] { deselectAll(); };
    configuration.editSelection = [this] { editSelection(); };
    m_shortcuts.update(std::move(configuration));
}

void TrackListView::updateLayoutMessage()
{
    const std::optional<QString>& message = m_environment.trackTableLayout.recoveryMessage();
    m_layoutMessageText->setText(message.value_or(QString()));
    m_layoutMessageBar->setVisible(message.has_value());
}

// The song-list keys are looked at before any widget sees them, while the
// list is visible; the monitor passes on everything that is not for it (and
// everything while text is being typed or another window is active).
bool TrackListView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn && watched == m_table)
        emit tableFocused();
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        const auto* press = static_cast<QKeyEvent*>(event);
        return m_shortcuts.handleKeyPress(KeyPress::from(*press), ShortcutContext::of(this));
    }
    return QWidget::eventFilter(watched, event);
}

void TrackListView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_filtersKeys) {
        qApp->installEventFilter(this);
        m_filtersKeys = true;
    }
    updateShortcuts();
}

void TrackListView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (m_filtersKeys) {
        qApp->removeEventFilter(this);
        m_filtersKeys = false;
    }
    updateShortcuts();
}

} // namespace varno
