#include "PaintLog.h"
#include "SongListTestSupport.h"

#include "media/ArtworkCache.h"
#include "playback/AudioEngine.h"
#include "playback/QueueEngine.h"
#include "ui/DropOverlay.h"
#include "ui/EmptyStateView.h"
#include "ui/songs/SongLists.h"
#include "ui/songs/TrackListHeaderView.h"
#include "ui/songs/TrackListTexts.h"
#include "ui/songs/TrackThumbnailCache.h"

#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>

using namespace varno;
using namespace varno::test;

namespace {

using Column = TrackTableColumnID;

QStringList alertTitles(const FakeDialogs& dialogs)
{
    QStringList titles;
    for (const FakeDialogs::Shown& shown : dialogs.shown) {
        if (shown.kind == QLatin1String("alert"))
            titles << shown.title;
    }
    return titles;
}

// --- What the list shows ------------------------------------------------------

TEST_F(SongListTest, AnEmptyLibraryShowsItsEmptyStateUntilSongsArrive)
{
    showLibraryList();
    ASSERT_TRUE(list->isShowingEmptyState());
    EXPECT_EQ(list->emptyStateView().title(), QStringLiteral("No songs in library"));
    EXPECT_EQ(list->emptyStateView().subtitle(), QStringLiteral("Import songs to get started"));
    EXPECT_EQ(list->header().countText(), QStringLiteral("0 songs"));

    addSongs({QStringLiteral("Alpha")});
    EXPECT_FALSE(list->isShowingEmptyState());
    EXPECT_EQ(list->header().countText(), QStringLiteral("1 song"));
}

TEST_F(SongListTest, FavouritesShowTheirOwnEmptyStateAndOnlySongsRatedFourOrMore)
{
    addSongs({QStringLiteral("Three"), QStringLiteral("Four"), QStringLiteral("Five")});
    list.reset(makeFavoritesSongList(harness->environment(), &undoStack, nullptr));
    show();
    EXPECT_EQ(list->header().title(), QStringLiteral("Favorites"));
    EXPECT_EQ(list->emptyStateView().title(), QStringLiteral("No favorites yet"));
    EXPECT_EQ(list->emptyStateView().subtitle(), QStringLiteral("Use the heart action on any song to add it here"));
    EXPECT_TRUE(list->isShowingEmptyState());

    edit(QStringLiteral("Three"), [](Track& t) { t.rating = 3; });
    edit(QStringLiteral("Four"), [](Track& t) { t.rating = 4; });
    edit(QStringLiteral("Five"), [](Track& t) { t.rating = 5; });
    EXPECT_EQ(shownTitles(), (QStringList {"Five", "Four"}));
}

TEST_F(SongListTest, RowsOfSongsWhoseFileWentMissingAreGreyedWithATooltip)
{
    const QString folder = musicFolder() + QStringLiteral("/watched");
    QDir().mkpath(folder);
    QFile::copy(fixturePath(QStringLiteral("formats/untagged.mp3")), folder + QStringLiteral("/gone.mp3"));
    await(library().addFolders({FileURL::fromLocalFile(folder)}));
    showLibraryList();
    ASSERT_EQ(model().rowCount(), 1);
    EXPECT_FALSE(model().data(model().index(0, 1), TrackTableModel::IsUnavailableRole).toBool());

    QFile::remove(folder + QStringLiteral("/gone.mp3"));
    ASSERT_TRUE(waitUntil([&] { return model().isUnavailable(0); }));
    EXPECT_EQ(model().data(model().index(0, 1), Qt::ToolTipRole).toString(), QStringLiteral("The file of this song is missing."));
}

// --- Sorting, selecting and playing --------------------------------------------

TEST_F(SongListTest, ClickingAHeaderSortsByItsColumnAndAgainReversesTheChevron)
{
    addSongs({QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Charlie")});
    edit(QStringLiteral("Alpha"), [](Track& t) { t.year = 2001; });
    edit(QStringLiteral("Bravo"), [](Track& t) { t.year = 1999; });
    edit(QStringLiteral("Charlie"), [](Track& t) { t.year = 2005; });
    harness->trackTableLayout.setColumnVisible(Column::Year, true, nullptr);
    showLibraryList();
    TrackTableHeaderView& header = table().columnHeader();
    const int year = model().columnOf(Column::Year);
    const QRect yearSection(header.sectionViewportPosition(year), 0, header.sectionSize(year), header.height());
    const QImage unsorted = header.grab(yearSection).toImage();

    QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, yearSection.center());
    EXPECT_EQ(shownTitles(), (QStringList {"Bravo", "Alpha", "Charlie"}));
    EXPECT_EQ(model().headerData(year, Qt::Horizontal, Qt::AccessibleDescriptionRole).toString(), QStringLiteral("Sort by Year, Ascending"));
    const QImage ascending = header.grab(yearSection).toImage();
    EXPECT_TRUE(ascending != unsorted);

    QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, yearSection.center());
    EXPECT_EQ(shownTitles(), (QStringList {"Charlie", "Alpha", "Bravo"}));
    EXPECT_EQ(model().headerData(year, Qt::Horizontal, Qt::AccessibleDescriptionRole).toString(), QStringLiteral("Sort by Year, Descending"));
    EXPECT_TRUE(header.grab(yearSection).toImage() != ascending);
}

TEST_F(SongListTest, ClicksSelectByThePlainShiftAndCtrlRulesAndTheInspectorFollows)
{
    addSongs({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D"), QStringLiteral("E")});
    showLibraryList();
    clickRow(1);
    EXPECT_EQ(harness->inspection.selectedTrack()->title, QStringLiteral("B"));
    clickRow(3, Qt::ShiftModifier);
    EXPECT_EQ(model().selectedTracks().size(), 3u);
    clickRow(2, Qt::ControlModifier);
    EXPECT_EQ(titlesOf(model().selectedTracks()), (QStringList {"B", "D"}));
    EXPECT_EQ(list->header().selectionText(), QStringLiteral("2 selected"));
    EXPECT_EQ(list->selectionCommandTarget().selectionCount(), 2);
    EXPECT_EQ(list->selectionCommandTarget().trackCount(), 5);
    clickRow(4);
    EXPECT_EQ(titlesOf(model().selectedTracks()), (QStringList {"E"}));
}

TEST_F(SongListTest, PlayNowStartsTheWholeShownListAtThatSong)
{
    addSongs({QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three"), QStringLiteral("Four")});
    edit(QStringLiteral("One"), [](Track& t) { t.artist = QStringLiteral("Delta"); });
    edit(QStringLiteral("Two"), [](Track& t) { t.artist = QStringLiteral("Alpha"); });
    edit(QStringLiteral("Three"), [](Track& t) { t.artist = QStringLiteral("Charlie"); });
    edit(QStringLiteral("Four"), [](Track& t) { t.artist = QStringLiteral("Bravo"); });
    showLibraryList();
    model().sortByColumn(Column::Artist);
    ASSERT_EQ(shownTitles(), (QStringList {"Two", "Four", "Three", "One"}));

    triggerMenuItem(2, songs::kPlayNow);
    QueueEngine& queue = harness->container->queueEngine();
    ASSERT_TRUE(queue.currentTrack());
    EXPECT_EQ(queue.currentTrack()->title, QStringLiteral("Three"));
    EXPECT_EQ(titlesOf(queue.history()), (QStringList {"Two", "Four"}));
    EXPECT_EQ(titlesOf(queue.upcoming()), (QStringList {"One"}));
    EXPECT_EQ(harness->inspection.selectedTrack()->title, QStringLiteral("Three"));
    EXPECT_TRUE(harness->panelState.isRightExpanded());
}

// An album whose file names are out of its order reads, and plays, by disc
// and track once the list is sorted by album, in either direction.
TEST_F(SongListTest, SortedByAlbumAnAlbumPlaysInDiscAndTrackOrder)
{
    struct Numbers {
        const char* track;
        const char* disc;
    };
    const QHash<QString, Numbers> numbers {{"a Coda", {"1", "2"}}, {"b Ten", {"10/12", "1"}}, {"c One", {"1", "1/2"}}, {"d Two", {"2", "1"}}};
    harness->importSongs(musicFolder(), numbers.keys(), [&](const QString& title) {
        fixtures::Tags tags = UiHarness::standardTagsTitled(title);
        tags.track = QString::fromUtf8(numbers[title].track);
        tags.disc = QString::fromUtf8(numbers[title].disc);
        return tags;
    });
    showLibraryList();
    const QStringList albumOrder {"c One", "d Two", "b Ten", "a Coda"};
    EXPECT_EQ(song(QStringLiteral("b Ten")).trackNumber, 10);
    EXPECT_EQ(song(QStringLiteral("c One")).discNumber, 1);
    model().sortByColumn(Column::Album);
    EXPECT_EQ(shownTitles(), albumOrder);
    model().sortByColumn(Column::Album);
    EXPECT_EQ(shownTitles(), albumOrder);

    triggerMenuItem(0, songs::kPlayNow);
    QueueEngine& queue = harness->container->queueEngine();
    ASSERT_TRUE(queue.currentTrack());
    EXPECT_EQ(queue.currentTrack()->title, QStringLiteral("c One"));
    EXPECT_EQ(titlesOf(queue.upcoming()), (QStringList {"d Two", "b Ten", "a Coda"}));
}

TEST_F(SongListTest, ThePlayButtonPausesThePlayingSongAndThenStartsItOver)
{
    addSongs({QStringLiteral("First"), QStringLiteral("Second")});
    showLibraryList();
    AudioEngine& audio = harness->container->audioEngine();
    const int row = rowOf(QStringLiteral("Second"));
    EXPECT_EQ(table().controlLabel(row, TrackRowControl::Play), QStringLiteral("Play Second"));

    clickControl(row, TrackRowControl::Play);
    ASSERT_TRUE(waitUntil([&] { return audio.playbackState() == PlaybackState::Playing; }));
    EXPECT_EQ(table().controlLabel(row, TrackRowControl::Play), QStringLiteral("Pause Second"));
    ASSERT_TRUE(waitUntil([&] { return audio.currentTime() > 0.3; }));

    clickControl(row, TrackRowControl::Play);
    EXPECT_EQ(audio.playbackState(), PlaybackState::Paused);
    const double pausedAt = audio.currentTime();
    EXPECT_GT(pausedAt, 0.3);

    clickControl(row, TrackRowControl::Play);
    ASSERT_TRUE(waitUntil([&] { return audio.playbackState() == PlaybackState::Playing; }));
    EXPECT_LT(audio.currentTime(), pausedAt);
    EXPECT_EQ(titlesOf(harness->container->queueEngine().history()), (QStringList {"First"}));
}

TEST_F(SongListTest, DoubleClickingWithSeveralSelectedKeepsOnlyThatSongAndPlaysIt)
{
    addSongs({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    showLibraryList();
    clickRow(0);
    clickRow(2, Qt::ShiftModifier);
    ASSERT_EQ(model().selectionCount(), 3);

    QTest::mouseDClick(table().viewport(), Qt::LeftButton, {}, cellCentre(1));
    EXPECT_EQ(titlesOf(model().selectedTracks()), (QStringList {"B"}));
    EXPECT_EQ(model().selection().anchorID, song(QStringLiteral("B")).id);
    ASSERT_TRUE(harness->container->queueEngine().currentTrack());
    EXPECT_EQ(harness->container->queueEngine().currentTrack()->title, QStringLiteral("B"));
}

TEST_F(SongListTest, SongListKeysSelectAllDeselectAndEditUnlessTextHasFocus)
{
    addSongs({QStringLiteral("A"), QStringLiteral("B")});
    showLibraryList();
    QLineEdit search(list.get());
    search.show();
    QApplication::setActiveWindow(list.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(list.get()));
    search.setFocus();
    QSignalSpy focused(list.get(), &TrackListView::tableFocused);
    table().setFocus();
    EXPECT_EQ(focused.count(), 1);
    QSignalSpy edits(list.get(), &TrackListView::sharedMetadataEditorRequested);

    QTest::keyClick(&table(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(model().selectionCount(), 2);
    QTest::keyClick(&table(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(edits.count(), 1);
    QTest::keyClick(&table(), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(model().selectionCount(), 0);

    search.setFocus();
    QTest::keyClick(&search, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(model().selectionCount(), 0);
}

TEST_F(SongListTest, MenuBarCommandsSelectDeselectWhichClearsTheInspectorAndEdit)
{
    addSongs({QStringLiteral("A"), QStringLiteral("B")});
    showLibraryList();
    QSignalSpy single(list.get(), &TrackListView::editMetadataRequested);
    TrackListSelectionCommandTarget& target = list->selectionCommandTarget();
    clickRow(0);
    target.send(TrackListSelectionCommand::EditSelection);
    ASSERT_EQ(single.count(), 1);
    EXPECT_EQ(single.first().at(0).value<Track>().title, QStringLiteral("A"));

    target.send(TrackListSelectionCommand::SelectAll);
    EXPECT_EQ(target.selectionCount(), 2);
    target.send(TrackListSelectionCommand::DeselectAll);
    EXPECT_EQ(target.selectionCount(), 0);
    EXPECT_FALSE(harness->inspection.selectedTrack());
}

// --- The row's context menu -------------------------------------------------------

TEST_F(SongListTest, ContextMenuListsEveryItemInOrderWithTheSharedEditForSeveralSongs)
{
    addSongs({QStringLiteral("A"), QStringLiteral("B")});
    showLibraryList();
    std::unique_ptr<QMenu> menu(list->makeContextMenu(0));
    EXPECT_EQ(itemTexts(*menu), (QStringList {"Play Now", "Play Next", "Add to Queue", "Add to Playlist", "Edit Metadata…", "Add to Favorites",
                                              "Choose Artwork…", "Remove Artwork", "Show in File Manager", "Remove from Player",
                                              "Delete Permanently…"}));

    clickRow(0);
    clickRow(1, Qt::ShiftModifier);
    menu.reset(list->makeContextMenu(0));
    EXPECT_EQ(itemTexts(*menu).at(4), QStringLiteral("Edit Shared Metadata for 2 Songs…"));
    QSignalSpy shared(list.get(), &TrackListView::sharedMetadataEditorRequested);
    itemNamed(*menu, QStringLiteral("Edit Shared Metadata for 2 Songs…"))->trigger();
    EXPECT_EQ(shared.count(), 1);
    ASSERT_TRUE(list->sharedEditCoordinator().batch());
    EXPECT_EQ(list->sharedEditCoordinator().batch()->tracks.size(), 2u);
}

TEST_F(SongListTest, FavouritesToggleTheRatingBetweenFiveAndZeroShowingTheNewStateAtOnce)
{
    addSongs({QStringLiteral("Song")});
    showLibraryList();
    EXPECT_EQ(table().controlLabel(0, TrackRowControl::Favorite), QStringLiteral("Add to Favorites"));

    triggerMenuItem(0, songs::kAddToFavorites);
    EXPECT_TRUE(model().isFavorite(0));
    ASSERT_TRUE(waitUntil([&] { return song(QStringLiteral("Song")).rating == 5; }));
    EXPECT_EQ(table().controlLabel(0, TrackRowControl::Favorite), QStringLiteral("Remove from Favorites"));

    clickControl(0, TrackRowControl::Favorite);
    EXPECT_FALSE(model().isFavorite(0));
    ASSERT_TRUE(waitUntil([&] { return song(QStringLiteral("Song")).rating == 0; }));
    EXPECT_TRUE(harness->dialogs.shown.isEmpty());
}

TEST_F(SongListTest, AFavouriteThatCannotBeSavedReturnsToTheStoredStateWithAnAlert)
{
    addSongs({QStringLiteral("Song")});
    showLibraryList();
    QFile::setPermissions(appFile(QStringLiteral("tracks.json")), QFileDevice::ReadOwner | QFileDevice::ReadGroup);

    clickControl(0, TrackRowControl::Favorite);
    EXPECT_TRUE(model().isFavorite(0));
    ASSERT_TRUE(waitUntil([&] { return !harness->dialogs.shown.isEmpty(); }));
    EXPECT_EQ(harness->dialogs.shown.first().title, QStringLiteral("Favorite Could Not Be Updated"));
    EXPECT_EQ(harness->dialogs.shown.first().message, QStringLiteral("The library could not save this change."));
    EXPECT_FALSE(model().isFavorite(0));
    EXPECT_EQ(song(QStringLiteral("Song")).rating, 0);
}

TEST_F(SongListTest, ArtworkIsChosenThroughTheDialogsAndRemovedWithFailuresAsAlerts)
{
    addSongs({QStringLiteral("Song")}, QStringLiteral("formats/untagged.mp3"));
    showLibraryList();
    ArtworkCache& artwork = harness->container->artworkCache();
    const Track track = song(QStringLiteral("Song"));

    harness->dialogs.imageAnswers.push_back(FileURL::fromLocalFile(fixturePath(QStringLiteral("covers/cover.jpg"))));
    triggerMenuItem(0, songs::kChooseArtwork);
    ASSERT_TRUE(waitUntil([&] { return await(artwork.retrieveArtwork(track)).has_value(); }));
    EXPECT_EQ(*await(artwork.retrieveArtwork(track)), readFile(fixturePath(QStringLiteral("covers/cover.jpg"))));

    triggerMenuItem(0, songs::kRemoveArtwork);
    ASSERT_TRUE(waitUntil([&] { return !await(artwork.retrieveArtwork(track)).has_value(); }));

    harness->dialogs.imageAnswers.push_back(FileURL::fromLocalFile(fixturePath(QStringLiteral("bad/cover.jpg"))));
    triggerMenuItem(0, songs::kChooseArtwork);
    ASSERT_TRUE(waitUntil([&] { return alertTitles(harness->dialogs).size() == 1; }));
    EXPECT_EQ(harness->dialogs.shown.last().title, songs::kArtworkFailedTitle);
    EXPECT_EQ(harness->dialogs.shown.last().message, QStringLiteral("The selected file is not a supported image."));
}

TEST_F(SongListTest, ShowInFileManagerRevealsTheSongsFile)
{
    addSongs({QStringLiteral("Song")});
    showLibraryList();
    triggerMenuItem(0, songs::kShowInFileManager);
    ASSERT_EQ(harness->dialogs.revealed.size(), 1);
    EXPECT_EQ(harness->dialogs.revealed.first(), song(QStringLiteral("Song")).fileURL);
}

TEST_F(SongListTest, RemoveFromPlayerKeepsTheFileAndCanBeUndone)
{
    addSongs({QStringLiteral("Keep"), QStringLiteral("Drop")});
    showLibraryList();
    const QString file = song(QStringLiteral("Drop")).fileURL.toLocalFile();
    triggerMenuItem(rowOf(QStringLiteral("Drop")), songs::kRemoveFromPlayer);
    ASSERT_TRUE(waitUntil([&] { return model().rowCount() == 1; }));
    EXPECT_TRUE(QFile::exists(file));
    ASSERT_TRUE(waitUntil([&] { return undoStack.count() == 1; }));
    EXPECT_EQ(undoStack.undoText(), QStringLiteral("Remove Track"));

    undoStack.undo();
    ASSERT_TRUE(waitUntil([&] { return model().rowCount() == 2; }));
    EXPECT_EQ(shownTitles(), (QStringList {"Drop", "Keep"}));
}

TEST_F(SongListTest, DeletePermanentlyAsksFirstAndDeletesTheFileOnlyWhenConfirmed)
{
    addSongs({QStringLiteral("Doomed")});
    showLibraryList();
    const QString file = song(QStringLiteral("Doomed")).fileURL.toLocalFile();

    harness->dialogs.confirmAnswers.push_back(false);
    triggerMenuItem(0, songs::kDeletePermanently);
    ASSERT_EQ(harness->dialogs.shown.size(), 1);
    EXPECT_EQ(harness->dialogs.shown.first().title, QStringLiteral("Delete Track Permanently?"));
    EXPECT_EQ(harness->dialogs.shown.first().message,
              QStringLiteral("“Doomed” will be removed from VARNO MUSIC and its original file will be deleted from disk. This cannot be undone."));
    EXPECT_FALSE(list->removalCoordinator().pendingPermanentDeletion());
    EXPECT_TRUE(QFile::exists(file));

    harness->dialogs.confirmAnswers.push_back(true);
    triggerMenuItem(0, songs::kDeletePermanently);
    ASSERT_TRUE(waitUntil([&] { return model().rowCount() == 0; }));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(undoStack.count(), 0);
}

TEST_F(SongListTest, ASecondRemovalWhileOneRunsIsRefusedWithTheWaitingMessage)
{
    addSongs({QStringLiteral("First"), QStringLiteral("Second")});
    showLibraryList();
    triggerMenuItem(rowOf(QStringLiteral("First")), songs::kRemoveFromPlayer);
    ASSERT_TRUE(list->removalCoordinator().inFlightTrackID());
    triggerMenuItem(rowOf(QStringLiteral("Second")), songs::kDeletePermanently);

    ASSERT_EQ(harness->dialogs.shown.size(), 1);
    EXPECT_EQ(harness->dialogs.shown.first().title, QString());
    EXPECT_EQ(harness->dialogs.shown.first().message, QStringLiteral("Wait for the current library operation to finish before removing another track."));
    ASSERT_TRUE(waitUntil([&] { return model().rowCount() == 1; }));
    EXPECT_EQ(shownTitles(), (QStringList {"Second"}));
}

TEST_F(SongListTest, AFailedDeletionIsShownAsTrackRemovalFailed)
{
    addSongs({QStringLiteral("Vanished")});
    showLibraryList();
    QFile::remove(song(QStringLiteral("Vanished")).fileURL.toLocalFile());
    harness->dialogs.confirmAnswers.push_back(true);
    triggerMenuItem(0, songs::kDeletePermanently);

    ASSERT_TRUE(waitUntil([&] { return alertTitles(harness->dialogs).size() == 1; }));
    EXPECT_EQ(harness->dialogs.shown.last().title, QStringLiteral("Track Removal Failed"));
    EXPECT_TRUE(harness->dialogs.shown.last().message.endsWith(QStringLiteral(" cannot be restored because the original file is no longer available.")));
    EXPECT_EQ(model().rowCount(), 1);
}

// --- Import ----------------------------------------------------------------------

void dropFiles(QWidget* target, const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    const QPoint centre = target->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(centre, Qt::CopyAction, data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
    delete data;
}

QWidget* dropTarget(TrackListView& list)
{
    return list.findChild<DropOverlay*>()->parentWidget();
}

TEST_F(SongListTest, AddSongsImportsTheChosenFiles)
{
    harness->trackTableLayout.setColumnVisible(Column::Format, true, nullptr);
    showLibraryList();
    ASSERT_NE(list->addSongsAction(), nullptr);
    EXPECT_EQ(list->addSongsAction()->text(), QStringLiteral("Add songs"));
    harness->dialogs.fileAnswers.push_back({FileURL::fromLocalFile(copyFixture(QStringLiteral("formats/tagged.flac"), QStringLiteral("a.flac")))});
    list->addSongsAction()->trigger();
    ASSERT_TRUE(waitUntil([&] { return model().rowCount() == 1; }));
    EXPECT_EQ(model().data(model().index(0, model().columnOf(Column::Format))).toString(), QStringLiteral("FLAC"));
}

TEST_F(SongListTest, BadDropsShowTheLibrarysImportErrorUntilDismissed)
{
    showLibraryList();
    const QString folderNamedLikeAudio = musicFolder() + QStringLiteral("/album.flac");
    QDir().mkpath(folderNamedLikeAudio);
    const QString broken = copyFixture(QStringLiteral("bad/random.mp3"), QStringLiteral("random.mp3"));

    // A drop's import runs as the list's own operation, so once none runs
    // the drop has had every effect it will have.
    dropFiles(dropTarget(*list), {folderNamedLikeAudio, broken});
    ASSERT_TRUE(listOperationsEnd());
    ASSERT_TRUE(list->importError().has_value());
    EXPECT_TRUE(list->importError()->startsWith(QStringLiteral("No songs could be added\n1 file was skipped:\nrandom.mp3: ")))
        << list->importError()->toStdString();
    EXPECT_FALSE(list->importNotice());
    EXPECT_EQ(model().rowCount(), 0);

    auto* dismiss = list->findChild<QToolButton*>(QStringLiteral("importErrorDismiss"));
    ASSERT_NE(dismiss, nullptr);
    QTest::mouseClick(dismiss, Qt::LeftButton);
    EXPECT_FALSE(list->importError());
}

TEST_F(SongListTest, ADroppedFolderIsImportedAndWhatWasSkippedIsANoticeNotAFailure)
{
    showLibraryList();
    const QString folder = scratch(QStringLiteral("dropped"));
    QDir().mkpath(folder + QStringLiteral("/disc 2"));
    QFile::copy(test::fixturePath(QStringLiteral("formats/untagged.mp3")), folder + QStringLiteral("/one.mp3"));
    QFile::copy(test::fixturePath(QStringLiteral("formats/tagged.flac")), folder + QStringLiteral("/disc 2/two.flac"));
    QFile::copy(test::fixturePath(QStringLiteral("bad/random.mp3")), folder + QStringLiteral("/disc 2/broken.mp3"));

    dropFiles(dropTarget(*list), {folder});
    ASSERT_TRUE(listOperationsEnd());
    EXPECT_EQ(model().rowCount(), 2);
    EXPECT_FALSE(list->importError());
    ASSERT_TRUE(list->importNotice());
    EXPECT_TRUE(list->importNotice()->startsWith(QStringLiteral("Added 2 songs\n1 file was skipped:\nbroken.mp3: ")))
        << list->importNotice()->toStdString();
    EXPECT_TRUE(list->findChild<QWidget*>(QStringLiteral("importNotice"))->isVisible());

    // Dropped again, nothing is new, and the list says so.
    dropFiles(dropTarget(*list), {folder + QStringLiteral("/one.mp3")});
    ASSERT_TRUE(listOperationsEnd());
    EXPECT_EQ(list->importNotice(), QStringLiteral("No new songs were added\nEvery audio file found is in the library already, or none was found."));
    list->dismissImportNotice();
    EXPECT_FALSE(list->findChild<QWidget*>(QStringLiteral("importNotice"))->isVisible());
}

TEST_F(SongListTest, RowsAskForCoversOnlyWhileOnScreen)
{
    QStringList titles;
    for (int i = 0; i < 40; ++i)
        titles << QStringLiteral("Song %1").arg(i, 2, 10, QLatin1Char('0'));
    addSongs(titles, QStringLiteral("formats/tagged.mp3"));
    showLibraryList();
    // Covers read from the files for the first time change the artwork
    // cache, which asks the rows on screen again; that settles.
    ASSERT_TRUE(waitUntil([&] {
        list->grab();
        return model().thumbnails().pendingRequestCount() == 0;
    }));
    const QPixmap cover = model().data(model().index(0, 0), TrackTableModel::ThumbnailRole).value<QPixmap>();
    EXPECT_FALSE(cover.isNull());
    const int last = model().rowCount() - 1;
    ASSERT_GT(last, table().shownRows().second);
    EXPECT_TRUE(model().data(model().index(last, 0), TrackTableModel::ThumbnailRole).value<QPixmap>().isNull());
    EXPECT_EQ(model().thumbnails().pendingRequestCount(), 1);
    list->grab();
    EXPECT_EQ(model().thumbnails().pendingRequestCount(), 0);
}

TEST_F(SongListTest, PlayingAndPausingRepaintsThePlayingRowNotTheList)
{
    QStringList titles;
    for (int i = 0; i < 12; ++i)
        titles << QStringLiteral("Song %1").arg(i, 2, 10, QLatin1Char('0'));
    addSongs(titles);
    showLibraryList();
    AudioEngine& audio = harness->container->audioEngine();
    const int row = rowOf(QStringLiteral("Song 03"));
    ASSERT_TRUE(waitUntil([&] {
        list->grab();
        return model().thumbnails().pendingRequestCount() == 0;
    }));
    PaintLog log(*table().viewport());
    harness->container->queueEngine().playNow(model().shownTracks().tracks, row);
    ASSERT_TRUE(waitUntil([&] { return audio.playbackState() == PlaybackState::Playing; }));
    // A new song may bring a new accent colour from its cover, which every
    // row shows; once that is drawn, the list has nothing left to draw
    // while the position moves on.
    ASSERT_TRUE(waitUntil([&] { return audio.currentTime() > 0.3; }));
    QCoreApplication::processEvents();
    log.paints.clear();
    const double started = audio.currentTime();
    ASSERT_TRUE(waitUntil([&] { return audio.currentTime() > started + 0.5; }));
    EXPECT_TRUE(log.paints.empty());

    // Pausing changes the playing row's button, and only that row is drawn
    // (with the grid line under it).
    audio.pause();
    ASSERT_TRUE(waitUntil([&] { return !log.paints.empty(); }));
    QCoreApplication::processEvents();
    const QRect playingRow(0, table().rowViewportPosition(row), table().viewport()->width(), table().rowHeight(row) + 1);
    for (const PaintLog::Paint& paint : log.paints)
        EXPECT_TRUE(playingRow.contains(paint.rect)) << paint.rect.y() << " " << paint.rect.height();
}

} // namespace
