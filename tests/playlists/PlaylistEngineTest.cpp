#include "FakeEngines.h"
#include "TestSupport.h"

#include "platform/FileIO.h"
#include "playlists/OstrelPlaylistEngine.h"
#include "playlists/OstrelPlaylistStorage.h"
#include "playlists/PlaylistError.h"
#include "playlists/PlaylistRecordChanges.h"
#include "playlists/SmartPlaylistSetupState.h"
#include "storage/OstrelDatabaseManager.h"
#include "storage/PlaylistCodec.h"
#include "platform/SettingsPreferencesStore.h"

#include <QFileInfo>
#include <QSignalSpy>

#include <algorithm>
#include <functional>
#include <memory>

#include <sys/stat.h>

using namespace varno;
using test::await;
using test::errorText;
using test::namesOf;

namespace {

PlaylistRecord stored(const QString& name, std::optional<QUuid> parent = std::nullopt, bool folder = false, std::int64_t order = 0)
{
    PlaylistRecord r;
    r.id = QUuid::createUuid();
    r.name = name;
    r.parentFolderID = parent;
    r.isFolder = folder;
    r.displayOrderIndex = order;
    return r;
}

class PlaylistEngineTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        test::DataFolderTest::SetUp();
        storage = std::make_unique<OstrelPlaylistStorage>();
        for (const char* title : {"One", "Two", "Three"})
            library.tracks.push_back(test::makeTrack(QString::fromLatin1(title)));
    }

    // The engine over what is stored now, loaded.
    OstrelPlaylistEngine& start(std::initializer_list<PlaylistRecord> records = {})
    {
        if (records.size())
            await(storage->saveRecords(records));
        engine = std::make_unique<OstrelPlaylistEngine>(*storage, library, queue);
        await(engine->loadPlaylists());
        return *engine;
    }

    QString path() const { return appFile(QStringLiteral("playlist_records.json")); }
    std::vector<PlaylistRecord> records() { return await(storage->fetchAllRecords()); }
    QStringList roots() const { return namesOf(engine->rootPlaylists()); }

    TrackList songs(std::initializer_list<int> positions) const
    {
        TrackList list;
        for (const int i : positions)
            list.append(std::make_shared<const Track>(library.tracks[static_cast<std::size_t>(i)]));
        return list;
    }

    test::FakeLibrary library;
    test::RecordingQueue queue;
    std::unique_ptr<OstrelPlaylistStorage> storage;
    std::unique_ptr<OstrelPlaylistEngine> engine;
};

} // namespace

TEST_F(PlaylistEngineTest, TopLevelIsInLocaleOrderWhateverTheStoredOrder)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const PlaylistRecord folder = stored(QStringLiteral("Zebra"), std::nullopt, true, 0);
    start({folder, stored(QStringLiteral("éclair"), std::nullopt, false, 1), stored(QStringLiteral("apple"), std::nullopt, false, 2),
           stored(QStringLiteral("Inside"), folder.id), stored(QStringLiteral("Banana"), std::nullopt, false, 3),
           stored(QStringLiteral("apple"), std::nullopt, true, 4)});
    // Locale order puts "éclair" among the e's, not after "Zebra"; equal
    // names keep their stored order (the playlist before the folder).
    EXPECT_EQ(roots(), (QStringList {"apple", "apple", "Banana", "éclair", "Zebra"}));
    EXPECT_EQ(engine->rootPlaylists()[0].type, PlaylistType::standard());
    EXPECT_EQ(engine->rootPlaylists()[1].type, PlaylistType::folder());
    EXPECT_EQ(namesOf(engine->childrenOf(folder.id)), QStringList {"Inside"});
    EXPECT_EQ(namesOf(engine->playlistsInTreeOrder()), (QStringList {"apple", "apple", "Banana", "éclair", "Zebra", "Inside"}));
}

TEST_F(PlaylistEngineTest, HandEditedTreesAreShownAsFarAsTheyCanBeAndSaySoForTheRest)
{
    const PlaylistRecord a = stored(QStringLiteral("Loop A"), std::nullopt, true);
    PlaylistRecord b = stored(QStringLiteral("Loop B"), a.id, true);
    PlaylistRecord loopA = a;
    loopA.parentFolderID = b.id;
    PlaylistRecord self = stored(QStringLiteral("Self"), std::nullopt, true);
    self.parentFolderID = self.id;
    PlaylistRecord twin = stored(QStringLiteral("Twin"));
    PlaylistRecord twinCopy = twin;
    twinCopy.name = QStringLiteral("Twin again");
    twinCopy.parentFolderID = twin.id;
    // Written by hand: the store itself never keeps two records with one id.
    const std::vector<PlaylistRecord> file {loopA, b, self, twin, twinCopy, stored(QStringLiteral("Orphan"), QUuid::createUuid()),
                                            stored(QStringLiteral("Shown"))};
    json::writeArrayFile(path(), file, [](json::Writer& w, const PlaylistRecord& r) { json::encode(w, r); });
    start();

    EXPECT_EQ(roots(), (QStringList {"Shown", "Twin"}));
    EXPECT_EQ(namesOf(engine->playlistsInTreeOrder()), (QStringList {"Shown", "Twin"}));
    EXPECT_TRUE(engine->childrenOf(twin.id).isEmpty());
    EXPECT_EQ(engine->loadProblems(),
              (QStringList {QStringLiteral("playlist_records.json holds 2 records with the id %1 (\u201CTwin\u201D); only the first one is used.")
                                .arg(twin.id.toString(QUuid::WithoutBraces).toUpper()),
                            QStringLiteral("The folders \u201CLoop A\u201D, \u201CLoop B\u201D are inside each other, so they and what they hold "
                                           "are not shown; playlist_records.json still has them."),
                            QStringLiteral("The folders \u201CSelf\u201D are inside each other, so they and what they hold are not shown; "
                                           "playlist_records.json still has them."),
                            QStringLiteral("\u201COrphan\u201D is inside a folder that is no longer stored, so it and what it holds are not "
                                           "shown; playlist_records.json still has it.")}));
    EXPECT_EQ(records().size(), 7u);
}

TEST_F(PlaylistEngineTest, RenameTrimsAndCountsWhatTheUserSeesAsCharacters)
{
    const PlaylistRecord folder = stored(QStringLiteral("Folder"), std::nullopt, true);
    const PlaylistRecord inside = stored(QStringLiteral("Inside"), folder.id);
    start({folder, inside});

    EXPECT_EQ(errorText([&] { await(engine->rename(inside.id, QStringLiteral(" \n\t "))); }), QStringLiteral("Playlist names cannot be empty."));
    EXPECT_EQ(errorText([&] { await(engine->rename(inside.id, QStringLiteral(" %1 ").arg(QString(121, QLatin1Char('x'))))); }),
              QStringLiteral("Playlist names must be 120 characters or fewer."));
    QString flags;
    for (int i = 0; i < 120; ++i)
        flags += QStringLiteral("🇫🇷");
    EXPECT_EQ(errorText([&] { await(engine->rename(inside.id, flags + QStringLiteral("e\u0301"))); }),
              QStringLiteral("Playlist names must be 120 characters or fewer."));

    // Inside a folder: the store is searched, not the top level.
    await(engine->rename(inside.id, QStringLiteral("  ") + flags + QStringLiteral("\n")));
    EXPECT_EQ(namesOf(engine->childrenOf(folder.id)), QStringList {flags});
    EXPECT_EQ(errorText([&] { await(engine->toggleFavorite(inside.id)); }), QStringLiteral("Playlist not found"));
    EXPECT_EQ(errorText([&] { await(engine->rename(QUuid::createUuid(), QStringLiteral("x"))); }), QStringLiteral("Playlist not found"));

    const fileio::FileVersion before = fileio::versionOf(path());
    await(engine->rename(inside.id, flags));
    EXPECT_EQ(fileio::versionOf(path()), before);
}

TEST_F(PlaylistEngineTest, CreatesAppendAtTheTopLevelOrShowInTheirFolderAtOnce)
{
    start();
    QSignalSpy changes(engine.get(), &PlaylistEngine::rootPlaylistsChanged);
    const Playlist zed = await(engine->createPlaylist(QStringLiteral("Zed")));
    const Playlist folder = await(engine->createFolder(QStringLiteral("Albums")));
    const Playlist smart = await(engine->createSmartPlaylist(QStringLiteral("Recent"), QStringLiteral("Year > 2020"), folder.id));
    // Appended, not sorted in, until the next load; the folder shows its new
    // playlist at once, which is a change of the top level too.
    EXPECT_EQ(roots(), (QStringList {"Zed", "Albums"}));
    EXPECT_EQ(changes.size(), 3);
    EXPECT_EQ(namesOf(engine->childrenOf(folder.id)), QStringList {"Recent"});
    EXPECT_EQ(smart.type, PlaylistType::smart(QStringLiteral("Year > 2020"), parseSmartCriteria(QStringLiteral("Year > 2020"))));
    EXPECT_EQ(records().back(), PlaylistRecord::from(smart, folder.id, 0));

    await(engine->loadPlaylists());
    EXPECT_EQ(roots(), (QStringList {"Albums", "Zed"}));
    EXPECT_EQ(namesOf(engine->childrenOf(folder.id)), QStringList {"Recent"});
    EXPECT_EQ(engine->getPlaylist(zed.id)->name, QStringLiteral("Zed"));
    EXPECT_FALSE(engine->getPlaylist(smart.id));
}

TEST_F(PlaylistEngineTest, DuplicateCopiesSongsButNotTheFavouriteMark)
{
    PlaylistRecord source = stored(QStringLiteral("Mix"));
    source.isFavorite = true;
    source.description = QStringLiteral("for the road");
    source.trackIDs = {library.tracks[0].id, library.tracks[1].id};
    start({source, stored(QStringLiteral("Other"))});

    const Playlist copy = await(engine->duplicate(source.id));
    EXPECT_EQ(copy.name, QStringLiteral("Mix (Copy)"));
    EXPECT_FALSE(copy.isFavorite);
    EXPECT_EQ(copy.trackIDs, source.trackIDs);
    EXPECT_EQ(copy.description, source.description);
    EXPECT_EQ(roots(), (QStringList {"Mix", "Other", "Mix (Copy)"}));
    EXPECT_EQ(records().back().displayOrderIndex, 2);
}

TEST_F(PlaylistEngineTest, AddingAndRemovingSongsWritesThePlaylistBack)
{
    const PlaylistRecord mix = stored(QStringLiteral("Mix"));
    start({stored(QStringLiteral("Another")), mix});

    // Songs already there are left out; a song given twice in one call is
    // added twice.
    await(engine->addTracks(songs({0, 1}), mix.id));
    await(engine->addTracks(songs({1, 2, 2}), mix.id));
    const QList<QUuid> ids {library.tracks[0].id, library.tracks[1].id, library.tracks[2].id, library.tracks[2].id};
    EXPECT_EQ(engine->getPlaylist(mix.id)->trackIDs, ids);

    const fileio::FileVersion before = fileio::versionOf(path());
    await(engine->addTracks(songs({0}), mix.id));
    EXPECT_NE(fileio::versionOf(path()), before);
    EXPECT_EQ(records()[1].trackIDs, ids);
    EXPECT_EQ(records()[1].displayOrderIndex, 1);

    await(engine->removeTracks({0, 2, 2, 9, -1}, mix.id));
    EXPECT_EQ(engine->getPlaylist(mix.id)->trackIDs, (QList<QUuid> {ids[1], ids[3]}));
    EXPECT_EQ(records()[1].trackIDs, (QList<QUuid> {ids[1], ids[3]}));
}

TEST_F(PlaylistEngineTest, DeletingAFolderTakesEverythingInsideButNoSong)
{
    const PlaylistRecord folder = stored(QStringLiteral("Folder"), std::nullopt, true);
    const PlaylistRecord sub = stored(QStringLiteral("Sub"), folder.id, true);
    PlaylistRecord deep = stored(QStringLiteral("Deep"), sub.id);
    deep.trackIDs = {library.tracks[0].id};
    start({deep, sub, folder, stored(QStringLiteral("Kept"))});

    await(engine->deletePlaylist(folder.id));
    EXPECT_EQ(roots(), QStringList {"Kept"});
    EXPECT_EQ(records().size(), 1u);
    EXPECT_EQ(library.tracks.size(), 3u);
    EXPECT_EQ(errorText([&] { await(engine->deletePlaylist(folder.id)); }), QStringLiteral("Playlist not found"));
}

TEST_F(PlaylistEngineTest, MoveIntoAFolderRebuildsTheTree)
{
    const PlaylistRecord folder = stored(QStringLiteral("Folder"), std::nullopt, true);
    const PlaylistRecord loose = stored(QStringLiteral("Loose"));
    start({folder, loose});
    await(engine->move(loose.id, folder.id, 4));
    EXPECT_EQ(roots(), QStringList {"Folder"});
    EXPECT_EQ(namesOf(engine->childrenOf(folder.id)), QStringList {"Loose"});
    EXPECT_EQ(records()[1].displayOrderIndex, 4);
}

TEST_F(PlaylistEngineTest, MovingPlacesAPlaylistAmongAFoldersChildrenAndOutAgainFromAnyDepth)
{
    const PlaylistRecord folder = stored(QStringLiteral("Folder"), std::nullopt, true);
    const PlaylistRecord sub = stored(QStringLiteral("Sub"), folder.id, true);
    const PlaylistRecord a = stored(QStringLiteral("A"), folder.id);
    const PlaylistRecord b = stored(QStringLiteral("B"), folder.id);
    const PlaylistRecord loose = stored(QStringLiteral("Loose"));
    start({folder, sub, a, b, loose});
    EXPECT_EQ(namesOf(engine->childrenOf(folder.id)), (QStringList {"Sub", "A", "B"}));

    // Reordering inside the folder: B first, then the loose one between.
    await(engine->move(b.id, folder.id, 0));
    EXPECT_EQ(namesOf(engine->childrenOf(folder.id)), (QStringList {"B", "Sub", "A"}));
    await(engine->move(loose.id, folder.id, 2));
    EXPECT_EQ(namesOf(engine->childrenOf(folder.id)), (QStringList {"B", "Sub", "Loose", "A"}));
    EXPECT_EQ(roots(), QStringList {"Folder"});
    std::vector<PlaylistRecord> written = records();
    EXPECT_EQ(recordWithID(written, loose.id).displayOrderIndex, 2);

    // From inside a folder inside a folder to the top level, where names
    // give the order.
    await(engine->move(a.id, sub.id, 0));
    EXPECT_EQ(namesOf(engine->childrenOf(sub.id)), QStringList {"A"});
    await(engine->move(a.id, std::nullopt, 0));
    EXPECT_EQ(roots(), (QStringList {"A", "Folder"}));
    EXPECT_TRUE(engine->childrenOf(sub.id).isEmpty());

    // A folder never goes inside itself.
    const std::vector<PlaylistRecord> before = records();
    EXPECT_EQ(errorText([&] { await(engine->move(folder.id, sub.id, 0)); }), QStringLiteral("Invalid operation"));
    EXPECT_EQ(errorText([&] { await(engine->move(folder.id, folder.id, 0)); }), QStringLiteral("Invalid operation"));
    EXPECT_EQ(records(), before);
}

TEST_F(PlaylistEngineTest, PlaylistsInsideFoldersAreDuplicatedDeletedAndPlayedLikeTopLevelOnes)
{
    const PlaylistRecord folder = stored(QStringLiteral("Folder"), std::nullopt, true);
    PlaylistRecord inside = stored(QStringLiteral("Inside"), folder.id);
    inside.trackIDs = {library.tracks[2].id, library.tracks[0].id};
    const PlaylistRecord other = stored(QStringLiteral("Other"), folder.id);
    start({folder, inside, other});

    const Playlist copy = await(engine->duplicate(inside.id));
    EXPECT_EQ(copy.name, QStringLiteral("Inside (Copy)"));
    EXPECT_EQ(copy.trackIDs, inside.trackIDs);
    EXPECT_EQ(namesOf(engine->childrenOf(folder.id)), (QStringList {"Inside", "Other", "Inside (Copy)"}));
    EXPECT_EQ(records().back().parentFolderID, folder.id);
    EXPECT_EQ(records().back().displayOrderIndex, 2);
    EXPECT_EQ(roots(), QStringList {"Folder"});

    await(engine->queuePlaylist(inside.id));
    ASSERT_EQ(queue.playNowCalls.size(), 1u);
    EXPECT_EQ(test::titlesOf(queue.playNowCalls[0].first), (QStringList {"Three", "One"}));

    await(engine->deletePlaylist(inside.id));
    EXPECT_EQ(namesOf(engine->childrenOf(folder.id)), (QStringList {"Other", "Inside (Copy)"}));
    EXPECT_EQ(records().size(), 3u);
}

TEST_F(PlaylistEngineTest, FavouriteAndDetailsAreWrittenThrough)
{
    const PlaylistRecord mix = stored(QStringLiteral("Mix"));
    start({mix});
    await(engine->toggleFavorite(mix.id));
    await(engine->updateMetadata(mix.id, QStringLiteral("notes"), {QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_TRUE(records()[0].isFavorite);
    EXPECT_EQ(records()[0].description, QStringLiteral("notes"));
    await(engine->updateMetadata(mix.id, std::nullopt, {}));
    EXPECT_FALSE(records()[0].description);
    EXPECT_TRUE(records()[0].tags.isEmpty());
}

TEST_F(PlaylistEngineTest, SongsThatLeftTheLibraryAreSkippedAndStayInTheRecord)
{
    PlaylistRecord mix = stored(QStringLiteral("Mix"));
    const QUuid gone = QUuid::createUuid();
    mix.trackIDs = {library.tracks[2].id, gone, library.tracks[0].id, library.tracks[2].id};
    PlaylistRecord missing = stored(QStringLiteral("Missing"));
    missing.trackIDs = {gone};
    const PlaylistRecord folder = stored(QStringLiteral("Folder"), std::nullopt, true);
    start({mix, missing, folder});

    EXPECT_EQ(test::titlesOf(engine->getTracks(mix.id)), (QStringList {"Three", "One", "Three"}));
    EXPECT_TRUE(engine->getTracks(QUuid::createUuid()).empty());

    await(engine->queuePlaylist(mix.id));
    ASSERT_EQ(queue.playNowCalls.size(), 1u);
    EXPECT_EQ(queue.playNowCalls[0].first.size(), 3u);
    EXPECT_EQ(queue.playNowCalls[0].second, 0);
    EXPECT_EQ(records()[0].trackIDs.size(), 4);

    await(engine->queuePlaylist(missing.id));
    EXPECT_EQ(queue.playNowCalls.size(), 1u);
    EXPECT_EQ(errorText([&] { await(engine->queuePlaylist(folder.id)); }), QStringLiteral("Cannot play a folder"));

    // A song removed from the library later is skipped from then on.
    library.tracks.erase(library.tracks.begin());
    emit library.tracksChanged(TrackListChange::reset());
    EXPECT_EQ(engine->getTracks(mix.id).size(), 2u);
}

TEST_F(PlaylistEngineTest, ADamagedStoreShowsNothingAndIsNeverWrittenOver)
{
    const QByteArray damaged = "[{\"id\": 1}]";
    test::writeFile(path(), damaged);
    const QString printed = test::diagnosticsOf([&] { start(); });
    EXPECT_TRUE(printed.startsWith(QStringLiteral("Failed to load playlists: playlist_records.json: item 0: key \"id\"")));
    EXPECT_TRUE(engine->rootPlaylists().isEmpty());
    EXPECT_TRUE(engine->loadError()->startsWith(QStringLiteral("playlist_records.json: item 0")));

    EXPECT_EQ(errorText([&] { await(engine->createPlaylist(QStringLiteral("new"))); }), *engine->loadError());
    EXPECT_EQ(errorText([&] { await(engine->rename(QUuid::createUuid(), QStringLiteral("new"))); }), *engine->loadError());
    EXPECT_TRUE(engine->rootPlaylists().isEmpty());
    EXPECT_EQ(test::readFile(path()), damaged);
}

TEST_F(PlaylistEngineTest, OperationsRunInTheOrderTheyWereCalled)
{
    const PlaylistRecord mix = stored(QStringLiteral("Mix"));
    start({mix});
    // None awaited before the next is called: the favourite mark must not
    // write back the name the rename replaced, nor the rename lose the mark.
    auto renaming = engine->rename(mix.id, QStringLiteral("Renamed"));
    auto favourite = engine->toggleFavorite(mix.id);
    auto adding = engine->addTracks(songs({1}), mix.id);
    await(std::move(renaming));
    await(std::move(favourite));
    await(std::move(adding));
    EXPECT_EQ(records()[0].name, QStringLiteral("Renamed"));
    EXPECT_TRUE(records()[0].isFavorite);
    EXPECT_EQ(records()[0].trackIDs.size(), 1);
    EXPECT_EQ(roots(), QStringList {"Renamed"});

    // Called before the first load has finished, an operation still finds
    // the stored playlists.
    OstrelPlaylistEngine fresh(*storage, library, queue);
    await(fresh.toggleFavorite(mix.id));
    EXPECT_FALSE(records()[0].isFavorite);
}

TEST_F(PlaylistEngineTest, PicksUpWhatAnotherProcessStored)
{
    start({stored(QStringLiteral("Mine"))});
    QSignalSpy changes(engine.get(), &PlaylistEngine::rootPlaylistsChanged);
    await(engine->refreshIfChangedElsewhere());
    await(engine->toggleFavorite(engine->rootPlaylists()[0].id));
    await(engine->refreshIfChangedElsewhere());
    EXPECT_EQ(changes.size(), 1);

    OstrelPlaylistStorage other;
    await(other.saveRecord(stored(QStringLiteral("Theirs"))));
    await(engine->refreshIfChangedElsewhere());
    EXPECT_EQ(roots(), (QStringList {"Mine", "Theirs"}));
}

TEST_F(PlaylistEngineTest, SmartPlaylistSheetCreatesWithItsCriteriaText)
{
    start();
    SmartPlaylistSetupState sheet;
    int closed = 0;
    sheet.onCancel = [&] { ++closed; };
    EXPECT_TRUE(sheet.canCreate());
    const std::optional<Playlist> created = await(sheet.create(*engine));
    ASSERT_TRUE(created);
    EXPECT_EQ(created->name, QStringLiteral("Untitled Smart Playlist"));
    EXPECT_EQ(created->type, PlaylistType::smart(SmartRuleSet {true, {SmartRule {}}}));
    EXPECT_EQ(created->type.criteria(), QStringLiteral("Artist contains "));
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(records()[0].isSmart);

    sheet.rules.clear();
    sheet.addRule().value;
    sheet.rules[0].property = SmartRuleProperty::Genre;
    sheet.rules[0].value = QStringLiteral("Jazz");
    SmartRule& year = const_cast<SmartRule&>(sheet.addRule());
    year.property = SmartRuleProperty::Year;
    year.condition = SmartRuleCondition::IsGreaterThan;
    year.value = QStringLiteral("1990");
    EXPECT_EQ(sheet.criteriaText(), QStringLiteral("Genre contains Jazz AND Year > 1990"));
    sheet.matchAllRules = false;
    EXPECT_EQ(sheet.criteriaText(), QStringLiteral("Genre contains Jazz OR Year > 1990"));
    sheet.removeRule(sheet.rules[0].id);
    sheet.removeRule(year.id);
    EXPECT_EQ(sheet.criteriaText(), QString());

    // A store that cannot be written: said once, the sheet stays open as it was.
    test::writeFile(path(), "not json");
    sheet.playlistName = QString();
    const QString printed = test::diagnosticsOf([&] { EXPECT_FALSE(await(sheet.create(*engine))); });
    EXPECT_TRUE(printed.startsWith(QStringLiteral("Failed to create smart playlist: playlist_records.json")));
    EXPECT_EQ(closed, 1);
}

TEST(SmartRuleTest, EveryPropertyAndConditionHasItsTextBothWays)
{
    QStringList texts;
    for (const SmartRuleProperty property : allSmartRuleProperties()) {
        texts << rawValue(property);
        EXPECT_EQ(smartRulePropertyFromRawValue(rawValue(property)), property);
    }
    for (const SmartRuleCondition condition : allSmartRuleConditions()) {
        texts << rawValue(condition);
        EXPECT_EQ(smartRuleConditionFromRawValue(rawValue(condition)), condition);
    }
    EXPECT_EQ(texts, (QStringList {"Artist", "Album", "Genre", "Year", "BPM", "Rating", "Play Count", "Date Added", "contains", "is",
                                   "starts with", ">", "<"}));
    EXPECT_FALSE(smartRulePropertyFromRawValue(QStringLiteral("artist")));
    EXPECT_FALSE(smartRuleConditionFromRawValue(QStringLiteral("is not")));
}

// Another process (a second store over the same folder) adds a song and a
// playlist after this engine loaded the store. The engine's own change is
// made to what is stored when its turn comes, and what it publishes then
// holds the other process's change too.
TEST_F(PlaylistEngineTest, AddingOverAStaleViewKeepsTheSongAnotherProcessAdded)
{
    const PlaylistRecord mix = stored(QStringLiteral("Mix"));
    start({mix});
    OstrelPlaylistStorage elsewhere;
    elsewhere.changeRecords([&](std::vector<PlaylistRecord>& records) {
        records[0].trackIDs.push_back(library.tracks[0].id);
        records.push_back(stored(QStringLiteral("Theirs")));
    });

    await(engine->addTracks(songs({1}), mix.id));
    const QList<QUuid> both {library.tracks[0].id, library.tracks[1].id};
    EXPECT_EQ(records()[0].trackIDs, both);
    EXPECT_EQ(engine->getPlaylist(mix.id)->trackIDs, both);
    EXPECT_EQ(roots(), (QStringList {"Mix", "Theirs"}));
}

TEST_F(PlaylistEngineTest, EveryChangeKeepsWhatAnotherProcessStoredMeanwhile)
{
    const PlaylistRecord folder = stored(QStringLiteral("Folder"), std::nullopt, true);
    const PlaylistRecord mix = stored(QStringLiteral("Mix"));
    PlaylistRecord other = stored(QStringLiteral("Other"));
    other.trackIDs = {library.tracks[1].id};
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"create", [&] { await(engine->createPlaylist(QStringLiteral("New"))); }},
        {"create smart", [&] { await(engine->createSmartPlaylist(QStringLiteral("Smart"), QStringLiteral("Year > 1990"))); }},
        {"create folder inside", [&] { await(engine->createFolder(QStringLiteral("Box"), folder.id)); }},
        {"rename", [&] { await(engine->rename(other.id, QStringLiteral("Renamed"))); }},
        {"duplicate", [&] { await(engine->duplicate(other.id)); }},
        {"delete", [&] { await(engine->deletePlaylist(other.id)); }},
        {"delete folder", [&] { await(engine->deletePlaylist(folder.id)); }},
        {"add", [&] { await(engine->addTracks(songs({2}), other.id)); }},
        {"remove", [&] { await(engine->removeTracks({0}, other.id)); }},
        {"move", [&] { await(engine->move(other.id, folder.id, 0)); }},
        {"favourite", [&] { await(engine->toggleFavorite(other.id)); }},
        {"details", [&] { await(engine->updateMetadata(other.id, QStringLiteral("notes"), {QStringLiteral("a")})); }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        engine.reset();
        QFile::remove(path());
        start({folder, mix, other});
        OstrelPlaylistStorage elsewhere;
        elsewhere.changeRecords([&](std::vector<PlaylistRecord>& records) {
            records[1].trackIDs.push_back(library.tracks[0].id);
            records.push_back(stored(QStringLiteral("Theirs")));
        });

        change();
        const std::vector<PlaylistRecord> now = records();
        const auto find = [&](const QUuid& id) { return std::find_if(now.begin(), now.end(), [&](const PlaylistRecord& r) { return r.id == id; }); };
        ASSERT_NE(find(mix.id), now.end());
        EXPECT_EQ(find(mix.id)->trackIDs, QList<QUuid> {library.tracks[0].id});
        EXPECT_EQ(std::count_if(now.begin(), now.end(), [](const PlaylistRecord& r) { return r.name == QStringLiteral("Theirs"); }), 1);
        EXPECT_EQ(engine->getPlaylist(mix.id)->trackIDs, QList<QUuid> {library.tracks[0].id});
        EXPECT_TRUE(roots().contains(QStringLiteral("Theirs"))) << roots().join(QStringLiteral(", ")).toStdString();
    }
}

// Positions name the songs as the engine showed them. When another process
// changed the list meanwhile, each shown song goes from where it is now:
// at the same position when it is still there, else its occurrence nearest
// to it; a song that is gone already removes nothing else.
TEST_F(PlaylistEngineTest, RemovingByPositionTakesTheSongsShownThereEvenWhenTheListChanged)
{
    const QUuid a = QUuid::createUuid(), b = QUuid::createUuid(), c = QUuid::createUuid(), d = QUuid::createUuid();
    const struct {
        const char* name;
        QList<QUuid> shown;
        QList<QUuid> meanwhile;
        QList<qsizetype> positions;
        QList<QUuid> left;
    } cases[] = {
        {"unchanged", {a, b, c, d}, {a, b, c, d}, {0, 2}, {b, d}},
        {"a song added after", {a, b, c}, {a, b, c, d}, {2}, {a, b, d}},
        {"a song before it removed", {a, b, c, d}, {b, c, d}, {2}, {b, d}},
        {"already removed", {a, b, c}, {a, c}, {1}, {a, c}},
        {"reordered", {a, b, c}, {c, b, a}, {0, 1}, {c}},
        {"repeated, nearest occurrence", {a, b, a, c, a}, {b, a, c, a}, {4}, {b, a, c}},
        {"repeated, a tie goes to the earlier", {a, b, a}, {a, a, b, a}, {2}, {a, b, a}},
        {"the same song at two positions", {a, a, b}, {b, a, a}, {0, 1}, {b}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        engine.reset();
        QFile::remove(path());
        PlaylistRecord mix = stored(QStringLiteral("Mix"));
        mix.trackIDs = c.shown;
        start({mix});
        OstrelPlaylistStorage elsewhere;
        elsewhere.changeRecords([&](std::vector<PlaylistRecord>& records) { records[0].trackIDs = c.meanwhile; });

        await(engine->removeTracks(c.positions, mix.id));
        EXPECT_EQ(records()[0].trackIDs, c.left);
        EXPECT_EQ(engine->getPlaylist(mix.id)->trackIDs, c.left);
    }
}

// The mark the user sets is the opposite of the one shown, whatever another
// process set meanwhile; a playlist another process deleted is not found
// and the engine stops showing it.
TEST_F(PlaylistEngineTest, FavouriteSetsWhatWasShownReversedAndAPlaylistGoneElsewhereIsNotFound)
{
    const PlaylistRecord mix = stored(QStringLiteral("Mix"));
    const PlaylistRecord gone = stored(QStringLiteral("Gone"));
    start({mix, gone});
    OstrelPlaylistStorage elsewhere;
    elsewhere.changeRecords([&](std::vector<PlaylistRecord>& records) {
        records[0].isFavorite = true;
        records.pop_back();
    });
    await(engine->toggleFavorite(mix.id));
    EXPECT_TRUE(records()[0].isFavorite);
    EXPECT_TRUE(engine->getPlaylist(mix.id)->isFavorite);

    const fileio::FileVersion before = fileio::versionOf(path());
    EXPECT_EQ(errorText([&] { await(engine->addTracks(songs({0}), gone.id)); }), QStringLiteral("Playlist not found"));
    EXPECT_EQ(fileio::versionOf(path()), before);
    EXPECT_EQ(roots(), QStringList {"Mix"});
}

// A store that is there but cannot be read is not an empty one: the engine
// publishes why, shows nothing, and no change replaces it.
TEST_F(PlaylistEngineTest, AStoreThatCannotBeReadIsPublishedAsAnErrorAndLeftAlone)
{
    fileio::removeFile(path());
    ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
    const QString reason = QStringLiteral("The file \u201Cplaylist_records.json\u201D could not be read: it is a named pipe, not a regular file (%1)").arg(path());
    const QString printed = test::diagnosticsOf([&] { start(); });
    EXPECT_TRUE(printed.startsWith(QStringLiteral("Failed to load playlists: ") + reason + QLatin1Char('\n'))) << printed.toStdString();
    EXPECT_EQ(engine->loadError(), reason);
    EXPECT_TRUE(engine->rootPlaylists().isEmpty());

    EXPECT_EQ(errorText([&] { await(engine->createPlaylist(QStringLiteral("new"))); }), reason);
    EXPECT_TRUE(QFileInfo(path()).exists() && !QFileInfo(path()).isFile());
}

// --- Live smart playlists --------------------------------------------------

namespace {

SmartRuleSet ratedAbove(int rating)
{
    SmartRule rule;
    rule.property = SmartRuleProperty::Rating;
    rule.condition = SmartRuleCondition::IsGreaterThan;
    rule.value = QString::number(rating);
    return SmartRuleSet {true, {rule}};
}

} // namespace

TEST_F(PlaylistEngineTest, ASmartPlaylistHoldsTheMatchingSongsInLibraryOrderAndFollowsTheLibrary)
{
    library.tracks[0].rating = 5;
    library.tracks[2].rating = 4;
    start();
    const Playlist smart = await(engine->createSmartPlaylist(QStringLiteral("Loved"), ratedAbove(3)));
    EXPECT_EQ(records()[0].smartCriteria, QStringLiteral("Rating > 3"));
    EXPECT_EQ(records()[0].smartRules, ratedAbove(3));
    EXPECT_EQ(test::titlesOf(engine->getTracks(smart.id)), (QStringList {"One", "Three"}));

    Track two = library.tracks[1];
    two.rating = 5;
    await(library.updateTrack(two));
    EXPECT_EQ(test::titlesOf(engine->getTracks(smart.id)), (QStringList {"One", "Two", "Three"}));

    await(engine->queuePlaylist(smart.id));
    ASSERT_EQ(queue.playNowCalls.size(), 1u);
    EXPECT_EQ(test::titlesOf(queue.playNowCalls[0].first), (QStringList {"One", "Two", "Three"}));
}

TEST_F(PlaylistEngineTest, RulesAreEditedAtAnyDepthAndNowhereElse)
{
    library.tracks[1].rating = 2;
    const PlaylistRecord folder = stored(QStringLiteral("Folder"), std::nullopt, true);
    start({folder});
    const Playlist smart = await(engine->createSmartPlaylist(QStringLiteral("Some"), ratedAbove(4), folder.id));
    EXPECT_TRUE(engine->getTracks(smart.id).empty());

    await(engine->updateSmartRules(smart.id, ratedAbove(1)));
    EXPECT_EQ(records().back().smartCriteria, QStringLiteral("Rating > 1"));
    EXPECT_EQ(records().back().parentFolderID, folder.id);
    EXPECT_EQ(engine->findPlaylist(smart.id)->type.rules(), ratedAbove(1));
    EXPECT_EQ(test::titlesOf(engine->getTracks(smart.id)), QStringList {"Two"});

    EXPECT_EQ(errorText([&] { await(engine->updateSmartRules(folder.id, ratedAbove(1))); }), QStringLiteral("Only a smart playlist has rules."));
}

TEST_F(PlaylistEngineTest, AValueThatDoesNotFitItsRuleIsRefusedAndNothingIsWritten)
{
    start();
    SmartRuleSet rules = ratedAbove(3);
    rules.rules[0].value = QStringLiteral("abc");
    EXPECT_EQ(errorText([&] { await(engine->createSmartPlaylist(QStringLiteral("Bad"), rules)); }),
              QStringLiteral("Rating needs a whole number, not “abc”."));
    EXPECT_TRUE(records().empty());
}

TEST_F(PlaylistEngineTest, SongsAreNotAddedToOrRemovedFromALiveSmartPlaylistByHand)
{
    start();
    const Playlist smart = await(engine->createSmartPlaylist(QStringLiteral("Loved"), ratedAbove(3)));
    const QString refusal = QStringLiteral("A smart playlist holds the songs that match its rules; edit the rules to change them.");
    EXPECT_EQ(errorText([&] { await(engine->addTracks(songs({0}), smart.id)); }), refusal);
    EXPECT_EQ(errorText([&] { await(engine->removeTracks({0}, smart.id)); }), refusal);
    EXPECT_TRUE(records()[0].trackIDs.isEmpty());
}

// Files written before rules were kept as data have only the criteria text.
TEST_F(PlaylistEngineTest, OlderSmartRecordsAreLiveWhenTheirCriteriaReadAsRulesAndKeepTheirSongsOtherwise)
{
    library.tracks[2].rating = 5;
    PlaylistRecord readable = stored(QStringLiteral("Readable"));
    readable.isSmart = true;
    readable.smartCriteria = QStringLiteral("Rating > 3");
    PlaylistRecord unreadable = stored(QStringLiteral("Unreadable"));
    unreadable.isSmart = true;
    unreadable.smartCriteria = QStringLiteral("songs I like");
    unreadable.trackIDs = {library.tracks[0].id};
    start({readable, unreadable});
    const fileio::FileVersion before = fileio::versionOf(path());

    EXPECT_TRUE(engine->getPlaylist(readable.id)->type.isLiveSmart());
    EXPECT_EQ(test::titlesOf(engine->getTracks(readable.id)), QStringList {"Three"});
    EXPECT_FALSE(engine->getPlaylist(unreadable.id)->type.isLiveSmart());
    EXPECT_EQ(test::titlesOf(engine->getTracks(unreadable.id)), QStringList {"One"});
    // Reading them back wrote nothing.
    EXPECT_EQ(fileio::versionOf(path()), before);

    await(engine->addTracks(songs({1}), unreadable.id));
    EXPECT_EQ(test::titlesOf(engine->getTracks(unreadable.id)), (QStringList {"One", "Two"}));
    EXPECT_FALSE(records()[0].smartRules);
    EXPECT_EQ(records()[0].smartCriteria, QStringLiteral("Rating > 3"));
}

TEST_F(PlaylistEngineTest, PlayCountsComeFromThePlayHistory)
{
    SettingsPreferencesStore preferences;
    OstrelDatabaseManager database(preferences);
    for (int play = 0; play < 3; ++play)
        database.recordPlayback(library.tracks[1].id, Timestamp::now());
    database.recordPlayback(library.tracks[2].id, Timestamp::now());
    storage = std::make_unique<OstrelPlaylistStorage>();
    engine = std::make_unique<OstrelPlaylistEngine>(*storage, library, queue, &database);
    await(engine->waitForPendingOperations());

    SmartRule played;
    played.property = SmartRuleProperty::PlayCount;
    played.condition = SmartRuleCondition::IsGreaterThan;
    played.value = QStringLiteral("0");
    const Playlist smart = await(engine->createSmartPlaylist(QStringLiteral("Played"), SmartRuleSet {true, {played}}));
    EXPECT_EQ(test::titlesOf(engine->getTracks(smart.id)), (QStringList {"Two", "Three"}));

    // Read again at the next load.
    database.recordPlayback(library.tracks[0].id, Timestamp::now());
    await(engine->loadPlaylists());
    EXPECT_EQ(test::titlesOf(engine->getTracks(smart.id)), (QStringList {"One", "Two", "Three"}));
}

// A playlist inside a folder takes songs, gives them up, reorders them and
// plays like a top-level one; the folder keeps it where it was stored.
TEST_F(PlaylistEngineTest, SongsAreAddedRemovedAndMovedInAPlaylistInsideAFolder)
{
    const PlaylistRecord folder = stored(QStringLiteral("Folder"), std::nullopt, true);
    const PlaylistRecord inside = stored(QStringLiteral("Inside"), folder.id, false, 7);
    start({folder, inside});
    const QList<QUuid> ids {library.tracks[0].id, library.tracks[1].id, library.tracks[2].id};

    await(engine->addTracks(songs({0, 1, 2}), inside.id));
    EXPECT_EQ(engine->findPlaylist(inside.id)->trackIDs, ids);
    await(engine->moveTracks({2}, 0, inside.id));
    EXPECT_EQ(records()[1].trackIDs, (QList<QUuid> {ids[2], ids[0], ids[1]}));
    await(engine->removeTracks({1}, inside.id));
    EXPECT_EQ(records()[1].trackIDs, (QList<QUuid> {ids[2], ids[1]}));
    EXPECT_EQ(records()[1].parentFolderID, folder.id);
    EXPECT_EQ(records()[1].displayOrderIndex, 7);
    EXPECT_EQ(namesOf(engine->childrenOf(folder.id)), QStringList {"Inside"});

    await(engine->queuePlaylist(inside.id));
    ASSERT_EQ(queue.playNowCalls.size(), 1u);
    EXPECT_EQ(queue.playNowCalls[0].first.size(), 2u);
}

// Moving keeps the moved songs' order and puts them before the song shown at
// the target; a removal is undone by putting the songs back where they were.
TEST_F(PlaylistEngineTest, MovingSongsPlacesThemBeforeTheTargetAndInsertingUndoesARemoval)
{
    PlaylistRecord mix = stored(QStringLiteral("Mix"));
    const QUuid a = QUuid::createUuid(), b = QUuid::createUuid(), c = QUuid::createUuid(), d = QUuid::createUuid();
    mix.trackIDs = {a, b, c, d};
    start({mix});

    await(engine->moveTracks({0, 1}, 3, mix.id));
    EXPECT_EQ(records()[0].trackIDs, (QList<QUuid> {c, a, b, d}));
    await(engine->moveTracks({1}, 4, mix.id));
    EXPECT_EQ(records()[0].trackIDs, (QList<QUuid> {c, b, d, a}));
    // A target that moves itself gives way to the next song that stays.
    await(engine->moveTracks({0, 3}, 0, mix.id));
    EXPECT_EQ(records()[0].trackIDs, (QList<QUuid> {c, a, b, d}));
    EXPECT_EQ(engine->getPlaylist(mix.id)->trackIDs, (QList<QUuid> {c, a, b, d}));

    await(engine->removeTracks({0, 2}, mix.id));
    EXPECT_EQ(records()[0].trackIDs, (QList<QUuid> {a, d}));
    await(engine->insertTracks({c, b}, {0, 2}, mix.id));
    EXPECT_EQ(records()[0].trackIDs, (QList<QUuid> {c, a, b, d}));
}

TEST(PlaylistRecordChangesTest, MovingOverAListAnotherProcessChangedMovesTheSongsShown)
{
    const QUuid a = QUuid::createUuid(), b = QUuid::createUuid(), c = QUuid::createUuid(), d = QUuid::createUuid();
    const QUuid e = QUuid::createUuid();
    // Shown a b c d; meanwhile another process put e first. Dragging a
    // below c still moves a below c.
    QList<QUuid> songs {e, a, b, c, d};
    moveShownSongs(songs, {a, b, c, d}, {0}, 3);
    EXPECT_EQ(songs, (QList<QUuid> {e, b, c, a, d}));
    // The song it was to go before is gone: to the end.
    songs = {a, b, c};
    moveShownSongs(songs, {a, b, c, d}, {0}, 3);
    EXPECT_EQ(songs, (QList<QUuid> {b, c, a}));
    // A song gone meanwhile moves nothing.
    songs = {b, c, d};
    moveShownSongs(songs, {a, b, c, d}, {0}, 3);
    EXPECT_EQ(songs, (QList<QUuid> {b, c, d}));
}
