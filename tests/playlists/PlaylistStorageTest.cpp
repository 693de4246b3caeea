#include "TestSupport.h"

#include "platform/FileIO.h"
#include "playlists/OstrelPlaylistStorage.h"

#include <QDir>
#include <QFileInfo>

#include <functional>
#include <memory>

#include <sys/stat.h>

using namespace varno;
using test::await;

namespace {

const QUuid kA = QUuid::fromString(QStringLiteral("0F6C2B9E-0000-4000-8000-00000000000A"));
const QUuid kB = QUuid::fromString(QStringLiteral("0F6C2B9E-0000-4000-8000-00000000000B"));
const QUuid kC = QUuid::fromString(QStringLiteral("0F6C2B9E-0000-4000-8000-00000000000C"));
const QUuid kD = QUuid::fromString(QStringLiteral("0F6C2B9E-0000-4000-8000-00000000000D"));

PlaylistRecord record(const QUuid& id, const QString& name, std::optional<QUuid> parent = std::nullopt, bool folder = false)
{
    PlaylistRecord r;
    r.id = id;
    r.name = name;
    r.parentFolderID = parent;
    r.isFolder = folder;
    return r;
}

QStringList namesOf(const std::vector<PlaylistRecord>& records)
{
    QStringList names;
    for (const PlaylistRecord& r : records)
        names << r.name;
    return names;
}

class PlaylistStorageTest : public test::DataFolderTest {
protected:
    void SetUp() override
    {
        test::DataFolderTest::SetUp();
        storage = std::make_unique<OstrelPlaylistStorage>();
    }

    QString path() const { return appFile(QStringLiteral("playlist_records.json")); }
    std::vector<PlaylistRecord> all() { return await(storage->fetchAllRecords()); }
    QStringList names() { return namesOf(all()); }
    void store(std::initializer_list<PlaylistRecord> records) { await(storage->saveRecords(records)); }

    std::unique_ptr<OstrelPlaylistStorage> storage;
};

} // namespace

TEST_F(PlaylistStorageTest, StartsAsAnEmptyFileAndWritesTheRecordForm)
{
    EXPECT_EQ(test::readFile(path()), QByteArray());
    EXPECT_TRUE(all().empty());

    PlaylistRecord smart = record(kA, QStringLiteral("Late \"Night\""), kB);
    smart.isSmart = true;
    smart.smartCriteria = QStringLiteral("Artist contains ");
    smart.tags = {QStringLiteral("calm")};
    smart.trackIDs = {kC, kC};
    smart.displayOrderIndex = 3;
    await(storage->saveRecord(smart));
    await(storage->saveRecord(record(kB, QStringLiteral("Folder"), std::nullopt, true)));

    EXPECT_EQ(test::readFile(path()),
              R"([{"id":"0F6C2B9E-0000-4000-8000-00000000000A","name":"Late \"Night\"","parentFolderID":"0F6C2B9E-0000-4000-8000-00000000000B",)"
              R"("isFolder":false,"isSmart":true,"smartCriteria":"Artist contains ","isFavorite":false,"tags":["calm"],)"
              R"("trackIDs":["0F6C2B9E-0000-4000-8000-00000000000C","0F6C2B9E-0000-4000-8000-00000000000C"],"displayOrderIndex":3},)"
              R"({"id":"0F6C2B9E-0000-4000-8000-00000000000B","name":"Folder","isFolder":true,"isSmart":false,"isFavorite":false,)"
              R"("tags":[],"trackIDs":[],"displayOrderIndex":0}])");
    EXPECT_EQ(all(), (std::vector<PlaylistRecord> {smart, record(kB, QStringLiteral("Folder"), std::nullopt, true)}));
}

TEST_F(PlaylistStorageTest, ReadsOptionalKeysAsAbsentOrNullAndConvertsToTheModel)
{
    test::writeFile(path(), R"([{"id":"0f6c2b9e-0000-4000-8000-00000000000a","name":"Both","parentFolderID":null,"isFolder":true,"isSmart":true,)"
                            R"("isFavorite":true,"tags":[],"trackIDs":[],"displayOrderIndex":7,"colour":"red"},)"
                            R"({"id":"0F6C2B9E-0000-4000-8000-00000000000B","name":"Smart","isFolder":false,"isSmart":true,)"
                            R"("isFavorite":false,"tags":[],"trackIDs":[],"displayOrderIndex":0}])");
    const std::vector<PlaylistRecord> records = all();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].id, kA);
    EXPECT_FALSE(records[0].parentFolderID);
    EXPECT_FALSE(records[0].description);
    EXPECT_EQ(records[0].toPlaylist().type, PlaylistType::folder());
    EXPECT_EQ(records[1].toPlaylist().type, PlaylistType::smart(QString()));

    Playlist smart = records[1].toPlaylist();
    smart.type = PlaylistType::smart(QStringLiteral("Year > 1990"));
    const PlaylistRecord back = PlaylistRecord::from(smart, kA, 5);
    EXPECT_TRUE(back.isSmart && !back.isFolder);
    EXPECT_EQ(back.smartCriteria, QStringLiteral("Year > 1990"));
    EXPECT_EQ(back.parentFolderID, kA);
    EXPECT_EQ(back.displayOrderIndex, 5);
}

TEST_F(PlaylistStorageTest, SmartRulesAreAnOptionalKeyAfterTheCriteria)
{
    PlaylistRecord smart = record(kA, QStringLiteral("Jazz"));
    smart.isSmart = true;
    SmartRule genre;
    genre.property = SmartRuleProperty::Genre;
    genre.value = QStringLiteral("Jazz");
    SmartRule year;
    year.property = SmartRuleProperty::Year;
    year.condition = SmartRuleCondition::IsGreaterThan;
    year.value = QStringLiteral("1990");
    smart.smartRules = SmartRuleSet {false, {genre, year}};
    smart.smartCriteria = smartCriteriaText(*smart.smartRules);
    await(storage->saveRecord(smart));

    EXPECT_EQ(test::readFile(path()),
              R"([{"id":"0F6C2B9E-0000-4000-8000-00000000000A","name":"Jazz","isFolder":false,"isSmart":true,)"
              R"("smartCriteria":"Genre contains Jazz OR Year > 1990","smartRules":{"matchAll":false,"rules":[)"
              R"({"property":"Genre","condition":"contains","value":"Jazz"},{"property":"Year","condition":">","value":"1990"}]},)"
              R"("isFavorite":false,"tags":[],"trackIDs":[],"displayOrderIndex":0}])");
    EXPECT_EQ(all(), std::vector<PlaylistRecord> {smart});
    EXPECT_EQ(all()[0].toPlaylist().type.rules(), smart.smartRules);
}

// A rule a later version knows and this one does not leaves the playlist to
// its criteria text rather than failing the whole file.
TEST_F(PlaylistStorageTest, RulesThisVersionDoesNotKnowFallBackOnTheCriteriaText)
{
    test::writeFile(path(), R"([{"id":"0F6C2B9E-0000-4000-8000-00000000000A","name":"Later","isFolder":false,"isSmart":true,)"
                            R"("smartCriteria":"Year > 2000","smartRules":{"matchAll":true,"rules":[)"
                            R"({"property":"Mood","condition":"is","value":"calm"}]},)"
                            R"("isFavorite":false,"tags":[],"trackIDs":[],"displayOrderIndex":0}])");
    const std::vector<PlaylistRecord> records = all();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].smartRules);
    EXPECT_EQ(records[0].toPlaylist().type.rules(), parseSmartCriteria(QStringLiteral("Year > 2000")));

    test::writeFile(path(), R"([{"id":"0F6C2B9E-0000-4000-8000-00000000000A","name":"Broken","isFolder":false,"isSmart":true,)"
                            R"("smartRules":{"matchAll":true},"isFavorite":false,"tags":[],"trackIDs":[],"displayOrderIndex":0}])");
    EXPECT_THROW(all(), std::exception);
}

TEST_F(PlaylistStorageTest, ReplacesInPlaceAppendsAndFetchesByFolder)
{
    store({record(kA, QStringLiteral("a")), record(kB, QStringLiteral("b"), kA), record(kC, QStringLiteral("c"))});
    await(storage->saveRecord(record(kA, QStringLiteral("a2"))));
    await(storage->saveRecords({record(kD, QStringLiteral("d")), record(kD, QStringLiteral("d2"))}));
    EXPECT_EQ(names(), (QStringList {"a2", "b", "c", "d2"}));
    EXPECT_EQ(namesOf(await(storage->fetchRecords(std::nullopt))), (QStringList {"a2", "c", "d2"}));
    EXPECT_EQ(namesOf(await(storage->fetchRecords(kA))), (QStringList {"b"}));
}

TEST_F(PlaylistStorageTest, DeletingAnUnknownIdRewritesTheSameContent)
{
    store({record(kA, QStringLiteral("a"))});
    const QByteArray before = test::readFile(path());
    const fileio::FileVersion version = fileio::versionOf(path());
    await(storage->deleteRecord(kD));
    EXPECT_EQ(test::readFile(path()), before);
    EXPECT_NE(fileio::versionOf(path()), version);
}

TEST_F(PlaylistStorageTest, FolderDeletionFindsDescendantsStoredBeforeTheirParents)
{
    // Grandchild first, then its folder, then the folder being deleted.
    store({record(kC, QStringLiteral("grandchild"), kB), record(kB, QStringLiteral("child"), kA, true),
           record(kA, QStringLiteral("top"), std::nullopt, true), record(kD, QStringLiteral("other"))});
    await(storage->deleteFolderRecursively(kA));
    EXPECT_EQ(names(), (QStringList {"other"}));

    // Folders inside each other end the search instead of looping.
    store({record(kA, QStringLiteral("x"), kB, true), record(kB, QStringLiteral("y"), kA, true)});
    await(storage->deleteFolderRecursively(kA));
    EXPECT_EQ(names(), (QStringList {"other"}));

    await(storage->deleteFolderRecursively(kD));
    EXPECT_TRUE(all().empty());
}

TEST_F(PlaylistStorageTest, ADamagedFileFailsEveryOperationAndIsKeptByteForByte)
{
    const QByteArray head = R"([{"id":"0F6C2B9E-0000-4000-8000-00000000000A","name":"kept",)";
    const QByteArray flags = R"("isFavorite":false,"tags":[],"trackIDs":[])";
    const std::pair<QByteArray, QString> cases[] = {
        {head + R"("isFolder":false,"isSmart":false,)" + flags + "}]", QStringLiteral("item 0: key \"displayOrderIndex\": required key is missing")},
        {head + R"("isFolder":{"folder":{}},"isSmart":false,)" + flags + R"(,"displayOrderIndex":0}])", QStringLiteral("item 0: key \"isFolder\": expected a boolean")},
        {head + R"("isFolder":false,"isSmart":false,)" + flags + R"(,"displayOrderIndex":0})", QStringLiteral("")},
        {"{}", QStringLiteral("")},
    };
    for (const auto& [damaged, reason] : cases) {
        test::writeFile(path(), damaged);
        const QString expected = test::errorText([&] { all(); });
        EXPECT_TRUE(expected.startsWith(QStringLiteral("playlist_records.json: ") + reason)) << expected.toStdString();
        EXPECT_EQ(test::errorText([&] { await(storage->fetchRecords(std::nullopt)); }), expected);

        const std::vector<std::function<QCoro::Task<>()>> writes {
            [&] { return storage->saveRecord(record(kB, QStringLiteral("new"))); },
            [&] { return storage->saveRecords({record(kB, QStringLiteral("new"))}); },
            [&] { return storage->deleteRecord(kA); },
            [&] { return storage->deleteFolderRecursively(kA); },
        };
        for (const auto& write : writes) {
            EXPECT_EQ(test::errorText([&] { await(write()); }), expected);
            EXPECT_EQ(test::readFile(path()), damaged);
        }
    }
    EXPECT_EQ(QDir(appFolder()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("playlist_records")),
              QStringList {QStringLiteral("playlist_records.json")});
}

// Only a missing file is an empty store. A folder, a named pipe or a device
// in its place fails every operation with the reason, at once (a pipe is
// not waited on, a device not read), and is never replaced.
TEST_F(PlaylistStorageTest, AFileThatCannotBeReadFailsEveryOperationAndIsLeftInPlace)
{
    const std::pair<std::function<void()>, QString> cases[] = {
        {[&] { QDir().mkpath(path()); }, QStringLiteral("it is a folder, not a file")},
        {[&] { ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0); }, QStringLiteral("it is a named pipe, not a regular file")},
        {[&] { ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path())); }, QStringLiteral("it is a character device, not a regular file")},
    };
    for (const auto& [make, reason] : cases) {
        SCOPED_TRACE(reason.toStdString());
        QDir(path()).removeRecursively();
        QFile::remove(path());
        make();
        const QString expected = QStringLiteral("The file \u201Cplaylist_records.json\u201D could not be read: %1 (%2)").arg(reason, path());
        EXPECT_EQ(test::errorText([&] { all(); }), expected);
        EXPECT_EQ(test::errorText([&] { await(storage->fetchRecords(std::nullopt)); }), expected);
        EXPECT_EQ(test::errorText([&] { await(storage->saveRecord(record(kA, QStringLiteral("a")))); }), expected);
        EXPECT_EQ(test::errorText([&] { await(storage->deleteRecord(kA)); }), expected);
        EXPECT_EQ(test::errorText([&] { storage->changeRecords([](auto&) {}); }), expected);
        EXPECT_FALSE(QFileInfo(path()).isFile() && !QFileInfo(path()).isSymLink());
    }

    QFile::remove(path());
    EXPECT_TRUE(all().empty());
}

TEST_F(PlaylistStorageTest, SeesWhatAnotherProcessWroteBetweenOperations)
{
    store({record(kA, QStringLiteral("mine"))});
    OstrelPlaylistStorage other;
    await(other.saveRecord(record(kB, QStringLiteral("theirs"))));
    await(storage->saveRecord(record(kC, QStringLiteral("mine too"))));
    EXPECT_EQ(namesOf(await(other.fetchAllRecords())), (QStringList {"mine", "theirs", "mine too"}));
}
