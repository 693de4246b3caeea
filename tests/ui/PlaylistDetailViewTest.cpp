#include "ModelChecks.h"
#include "UiHarness.h"
#include "ViewTestSupport.h"

#include "library/LibraryEngine.h"
#include "playback/QueueEngine.h"
#include "playlists/PlaylistEngine.h"
#include "ui/EmptyStateView.h"
#include "ui/playlists/AddSongsModel.h"
#include "ui/playlists/AddSongsSheet.h"
#include "ui/playlists/PlaylistDetailView.h"
#include "ui/playlists/SmartPlaylistSetupView.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>

#include <memory>

namespace varno {
namespace {

class PlaylistDetailViewTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        test::DataFolderTest::SetUp();
        harness = std::make_unique<test::UiHarness>();
        environment.emplace(harness->environment());
    }
    void TearDown() override
    {
        view.reset();
        environment.reset();
        harness.reset();
        test::DataFolderTest::TearDown();
    }

    LibraryEngine& library() { return harness->container->libraryEngine(); }
    PlaylistEngine& playlists() { return harness->container->playlistEngine(); }

    // The library's songs at the fixtures, in library order.
    TrackList importFixtures(const QStringList& relativePaths)
    {
        std::vector<FileURL> urls;
        for (const QString& path : relativePaths)
            urls.push_back(FileURL::fromLocalFile(test::fixturePath(path)));
        test::await(library().importFiles(urls));
        return library().allTracks();
    }

    void show(const Playlist& playlist)
    {
        view = std::make_unique<PlaylistDetailView>(*environment, playlist, [](QWidget* parent) {
            auto* list = new QWidget(parent);
            list->setObjectName(QStringLiteral("songListStandIn"));
            return list;
        });
        resolved = std::make_unique<QSignalSpy>(view.get(), &PlaylistDetailView::tracksResolved);
        view->resize(800, 600);
        view->show();
    }

    QStringList idsOf(const TrackList& tracks) const
    {
        QStringList ids;
        for (const Track& track : tracks)
            ids << track.id.toString();
        return ids;
    }
    QStringList idsOf(const QList<QUuid>& trackIDs) const
    {
        QStringList ids;
        for (const QUuid& id : trackIDs)
            ids << id.toString();
        return ids;
    }
    QList<QUuid> storedTrackIDs(const Playlist& playlist) { return playlists().getPlaylist(playlist.id)->trackIDs; }

    // Opens the "Add Songs" sheet; its model is checked by Qt's model tester
    // from then on.
    AddSongsSheet* openAddSongs()
    {
        QTest::mouseClick(view->addSongsButton(), Qt::LeftButton);
        AddSongsSheet* sheet = view->addSongsSheet();
        if (sheet)
            test::checkModel(sheet->model());
        return sheet;
    }

    QLabel* errorLabel() const { return view->findChild<QLabel*>(QStringLiteral("playlistImportError")); }

    // Runs an import or a drop to its end.
    template<typename Action>
    void importing(Action&& action)
    {
        QSignalSpy finished(view.get(), &PlaylistDetailView::importFinished);
        action();
        ASSERT_TRUE(test::waitUntil([&] { return finished.count() == 1; }));
    }

    std::unique_ptr<test::UiHarness> harness;
    std::optional<ViewEnvironment> environment;
    std::unique_ptr<PlaylistDetailView> view;
    std::unique_ptr<QSignalSpy> resolved;
};

TEST_F(PlaylistDetailViewTest, AnEmptyPlaylistSaysSoAndCannotBePlayed)
{
    show(test::await(playlists().createPlaylist(QStringLiteral("Road Trip"))));

    EXPECT_EQ(view->findChild<QLabel*>(QStringLiteral("playlistTitle"))->text(), QStringLiteral("Road Trip"));
    EXPECT_TRUE(view->emptyState()->isVisible());
    EXPECT_EQ(view->emptyState()->title(), QStringLiteral("This playlist is empty"));
    EXPECT_FALSE(view->songList()->isVisible());
    EXPECT_FALSE(view->playButton()->isEnabled());
    EXPECT_EQ(view->playButton()->toolTip(), QStringLiteral("Play playlist"));
    EXPECT_EQ(view->addSongsButton()->toolTip(), QStringLiteral("Add songs from library"));
    EXPECT_EQ(view->importButton()->toolTip(), QStringLiteral("Import songs"));
    ASSERT_EQ(resolved->count(), 1);
    EXPECT_TRUE(resolved->first().first().value<TrackList>().empty());
}

TEST_F(PlaylistDetailViewTest, PlayHandsThePlaylistToTheQueue)
{
    const TrackList songs = importFixtures({QStringLiteral("formats/tagged.flac"), QStringLiteral("formats/tagged.mp3")});
    const Playlist playlist = test::await(playlists().createPlaylist(QStringLiteral("Mix")));
    test::await(playlists().addTracks(TrackList {songs[1], songs[0]}, playlist.id));
    show(playlist);

    EXPECT_EQ(idsOf(view->tracks()), idsOf(TrackList {songs[1], songs[0]}));
    EXPECT_TRUE(view->songList()->isVisible());
    ASSERT_TRUE(view->playButton()->isEnabled());
    QTest::mouseClick(view->playButton(), Qt::LeftButton);

    QueueEngine& queue = harness->container->queueEngine();
    ASSERT_TRUE(test::waitUntil([&] { return queue.currentTrack().has_value(); }));
    EXPECT_EQ(queue.currentTrack()->id, songs[1].id);
    EXPECT_EQ(idsOf(queue.upcoming()), idsOf(TrackList {songs[0]}));
    EXPECT_FALSE(view->importError().has_value());
}

TEST_F(PlaylistDetailViewTest, AFolderOffersNoAddingAndPlayingItSaysWhyNot)
{
    const TrackList songs = importFixtures({QStringLiteral("formats/tagged.mp3")});
    // A hand-edited store can give a folder songs of its own; the engine
    // still refuses to play it.
    const QUuid folderID = QUuid::createUuid();
    const QUuid emptyFolderID = QUuid::createUuid();
    const auto uuid = [](const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper().toUtf8(); };
    test::writeFile(appFile(QStringLiteral("playlist_records.json")),
                    "[{\"id\":\"" + uuid(folderID) + "\",\"name\":\"Odd Folder\",\"isFolder\":true,\"isSmart\":false,"
                    "\"isFavorite\":false,\"tags\":[],\"trackIDs\":[\"" + uuid(songs[0].id) + "\"],\"displayOrderIndex\":0},"
                    "{\"id\":\"" + uuid(emptyFolderID) + "\",\"name\":\"Parties\",\"isFolder\":true,\"isSmart\":false,"
                    "\"isFavorite\":false,\"tags\":[],\"trackIDs\":[],\"displayOrderIndex\":1}]");
    test::await(playlists().loadPlaylists());

    show(*playlists().getPlaylist(emptyFolderID));
    EXPECT_EQ(view->findChild<QLabel*>(QStringLiteral("playlistTitle"))->text(), QStringLiteral("Parties"));
    EXPECT_FALSE(view->addSongsButton()->isVisible());
    EXPECT_FALSE(view->importButton()->isVisible());
    EXPECT_FALSE(view->playButton()->isEnabled());

    show(*playlists().getPlaylist(folderID));
    ASSERT_TRUE(view->playButton()->isEnabled());
    QTest::mouseClick(view->playButton(), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return view->importError().has_value(); }));
    EXPECT_EQ(*view->importError(), QStringLiteral("Cannot play a folder"));
    EXPECT_TRUE(errorLabel()->isVisible());
    EXPECT_EQ(errorLabel()->text(), QStringLiteral("Cannot play a folder"));
    EXPECT_FALSE(harness->container->queueEngine().currentTrack().has_value());
}

TEST_F(PlaylistDetailViewTest, ASmartPlaylistShowsTheMatchingSongsAndOffersItsRulesInsteadOfAdding)
{
    const TrackList songs = importFixtures({QStringLiteral("formats/tagged.flac"), QStringLiteral("formats/tagged.mp3")});
    SmartRule rated;
    rated.property = SmartRuleProperty::Rating;
    rated.condition = SmartRuleCondition::IsGreaterThan;
    rated.value = QStringLiteral("3");
    const Playlist smart = test::await(playlists().createSmartPlaylist(QStringLiteral("Loved"), SmartRuleSet {true, {rated}}));
    show(smart);
    ASSERT_TRUE(test::waitUntil([&] { return resolved->count() >= 1; }));
    EXPECT_FALSE(view->addSongsButton()->isVisible());
    EXPECT_FALSE(view->importButton()->isVisible());
    EXPECT_TRUE(view->editRulesButton()->isVisible());
    EXPECT_TRUE(view->emptyState()->isVisible());
    EXPECT_EQ(view->emptyState()->title(), QStringLiteral("No songs match these rules"));

    // Rated in the library: the playlist follows.
    Track loved = songs[1];
    loved.rating = 5;
    test::await(library().updateTrack(loved));
    ASSERT_TRUE(test::waitUntil([&] { return view->tracks().size() == 1; }));
    EXPECT_EQ(view->tracks()[0].id, loved.id);

    QTest::mouseClick(view->editRulesButton(), Qt::LeftButton);
    auto* sheet = view->window()->findChild<SmartPlaylistSetupView*>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Edit Smart Playlist"));
    sheet->close();
}

TEST_F(PlaylistDetailViewTest, AddSongsSheetTicksCountsAndAdds)
{
    const TrackList songs = importFixtures(
        {QStringLiteral("formats/tagged.flac"), QStringLiteral("formats/tagged.mp3"), QStringLiteral("formats/untagged.wav")});
    const Playlist playlist = test::await(playlists().createPlaylist(QStringLiteral("Mix")));
    test::await(playlists().addTracks(TrackList {songs[1]}, playlist.id));
    show(playlist);

    AddSongsSheet* sheet = openAddSongs();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(sheet->isVisible());
    QListView* list = sheet->list();
    AddSongsModel& model = sheet->model();
    // Only songs not in the playlist yet are offered, in library order.
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(idsOf(model.tracks()), idsOf(TrackList {songs[0], songs[2]}));
    EXPECT_EQ(model.index(0).data(AddSongsModel::ArtistRole).toString(), QStringLiteral("Tagged Artist"));
    EXPECT_EQ(model.index(1).data(AddSongsModel::ArtistRole).toString(), QStringLiteral("Unknown Artist"));
    auto* count = sheet->findChild<QLabel*>(QStringLiteral("addSongsCount"));
    EXPECT_EQ(count->text(), QStringLiteral("0 selected"));

    test::clickRow(list, model.index(0));
    EXPECT_EQ(count->text(), QStringLiteral("1 selected"));
    EXPECT_TRUE(model.index(0).data(AddSongsModel::TickedRole).toBool());
    test::clickRow(list, model.index(0));
    EXPECT_EQ(count->text(), QStringLiteral("0 selected"));
    EXPECT_FALSE(model.index(0).data(AddSongsModel::TickedRole).toBool());
    test::clickRow(list, model.index(1));
    test::clickRow(list, model.index(0));
    EXPECT_EQ(count->text(), QStringLiteral("2 selected"));

    QTest::keyClick(list, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(test::waitUntil([&] { return !sheet->isVisible(); }));
    // Ticked songs go in list order, after what the playlist held.
    EXPECT_EQ(idsOf(storedTrackIDs(playlist)), idsOf(TrackList {songs[1], songs[0], songs[2]}));
    EXPECT_EQ(idsOf(view->tracks()), idsOf(TrackList {songs[1], songs[0], songs[2]}));
    EXPECT_EQ(idsOf(resolved->last().first().value<TrackList>()), idsOf(view->tracks()));

    QTest::mouseClick(view->addSongsButton(), Qt::LeftButton);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(count->text(), QStringLiteral("0 selected"));
}

TEST_F(PlaylistDetailViewTest, AFailedAddKeepsTheSheetAndItsTicks)
{
    const TrackList songs = importFixtures({QStringLiteral("formats/tagged.mp3")});
    show(test::await(playlists().createPlaylist(QStringLiteral("Mix"))));
    AddSongsSheet* sheet = openAddSongs();
    test::clickRow(sheet->list(), sheet->model().index(0));

    test::writeFile(appFile(QStringLiteral("playlist_records.json")), "not a playlist store");
    QTest::mouseClick(sheet->findChild<QAbstractButton*>(QStringLiteral("addSongsAdd")), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return view->importError().has_value(); }));

    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->countText(), QStringLiteral("1 selected"));
    EXPECT_EQ(sheet->failure(), view->importError());
    EXPECT_TRUE(errorLabel()->isVisible());
}

TEST_F(PlaylistDetailViewTest, ImportingFoldersOrOtherFilesChangesNothingAndSaysNothing)
{
    const Playlist playlist = test::await(playlists().createPlaylist(QStringLiteral("Mix")));
    show(playlist);
    // "album.flac" is a folder named like a song.
    harness->dialogs.fileAnswers.push_back({FileURL::fromLocalFile(test::fixturePath(QStringLiteral("tree/album.flac"))),
                                            FileURL::fromLocalFile(test::fixturePath(QStringLiteral("tree/notes.txt")))});
    importing([&] { QTest::mouseClick(view->importButton(), Qt::LeftButton); });
    ASSERT_EQ(harness->dialogs.shown.size(), 1);
    EXPECT_EQ(harness->dialogs.shown.first().title, QStringLiteral("Import Songs"));

    importing([&] { test::dropFiles(view.get(), {test::fixturePath(QStringLiteral("tree")), test::fixturePath(QStringLiteral("tree/notes.txt"))}); });

    EXPECT_TRUE(library().allTracks().empty());
    EXPECT_TRUE(storedTrackIDs(playlist).isEmpty());
    EXPECT_FALSE(view->importError().has_value());
    EXPECT_FALSE(errorLabel()->isVisible());
}

TEST_F(PlaylistDetailViewTest, DroppingASongAlreadyInThePlaylistChangesNothing)
{
    const TrackList songs = importFixtures({QStringLiteral("formats/tagged.mp3")});
    const Playlist playlist = test::await(playlists().createPlaylist(QStringLiteral("Mix")));
    test::await(playlists().addTracks(songs, playlist.id));
    show(playlist);

    importing([&] { test::dropFiles(view.get(), {test::fixturePath(QStringLiteral("formats/tagged.mp3"))}); });

    EXPECT_EQ(library().allTracks().size(), 1u);
    EXPECT_EQ(idsOf(storedTrackIDs(playlist)), idsOf(songs));
    EXPECT_EQ(idsOf(view->tracks()), idsOf(songs));
    EXPECT_FALSE(view->importError().has_value());
}

TEST_F(PlaylistDetailViewTest, DroppingNewSongsImportsThemAndAddsThemInDropOrder)
{
    const TrackList earlier = importFixtures({QStringLiteral("formats/tagged.mp3")});
    const Playlist playlist = test::await(playlists().createPlaylist(QStringLiteral("Mix")));
    show(playlist);
    ASSERT_TRUE(QDir().mkpath(scratch(QStringLiteral("drop"))));
    const QString later = scratch(QStringLiteral("drop/zz later.flac"));
    ASSERT_TRUE(QFile::copy(test::fixturePath(QStringLiteral("formats/tagged.flac")), later));

    // The new file first: the playlist takes the order of the drop, not the
    // library's.
    importing([&] { test::dropFiles(view.get(), {later, test::fixturePath(QStringLiteral("formats/tagged.mp3"))}); });

    ASSERT_EQ(library().allTracks().size(), 2u);
    const Track& imported = library().allTracks()[1];
    EXPECT_EQ(imported.fileURL, FileURL::fromLocalFile(later));
    EXPECT_EQ(idsOf(storedTrackIDs(playlist)), idsOf(TrackList {imported, earlier[0]}));
    EXPECT_EQ(idsOf(view->tracks()), idsOf(TrackList {imported, earlier[0]}));
    EXPECT_TRUE(view->songList()->isVisible());
    EXPECT_TRUE(view->playButton()->isEnabled());
}

TEST_F(PlaylistDetailViewTest, FollowsChangesMadeElsewhere)
{
    const TrackList songs = importFixtures({QStringLiteral("formats/tagged.mp3")});
    const Playlist playlist = test::await(playlists().createPlaylist(QStringLiteral("Mix")));
    show(playlist);
    resolved->clear();

    test::await(playlists().addTracks(songs, playlist.id));
    test::await(playlists().rename(playlist.id, QStringLiteral("Renamed")));
    ASSERT_TRUE(test::waitUntil([&] { return !view->tracks().empty(); }));

    EXPECT_EQ(idsOf(view->tracks()), idsOf(songs));
    EXPECT_EQ(view->findChild<QLabel*>(QStringLiteral("playlistTitle"))->text(), QStringLiteral("Renamed"));
    EXPECT_TRUE(view->playButton()->isEnabled());
    EXPECT_FALSE(resolved->isEmpty());
}

} // namespace
} // namespace varno
