#include "FakeEngines.h"
#include "TestSupport.h"

#include "workspace/AlbumCatalog.h"

#include <gtest/gtest.h>

using namespace varno;
using Op = AlbumIndexChange::Op;

namespace {

// Grouped on a worker however small the library, as a large one is.
constexpr std::size_t kAlwaysOnWorker = 0;

class AlbumCatalogTest : public ::testing::Test {
protected:
    static Track song(const QString& title, const QString& artist, const QString& album)
    {
        Track track = test::makeTrack(title);
        track.artist = artist;
        track.album = album;
        return track;
    }

    QStringList albums(const AlbumCatalog& catalog) const
    {
        QStringList titles;
        for (const Album& album : catalog.index().albums())
            titles << album.artist() + QStringLiteral(" / ") + album.title() + QStringLiteral(" (%1)").arg(album.tracks.size());
        return titles;
    }

    // Records what the catalog announces from now on.
    void listen(AlbumCatalog& catalog)
    {
        QObject::connect(&catalog, &AlbumCatalog::changed, &catalog, [this](const AlbumIndexChange& change) { m_changes.push_back(change); });
    }

    // What the catalog announced, one line a change.
    QStringList announced() const
    {
        QStringList lines;
        for (const AlbumIndexChange& change : m_changes) {
            QString line = change.reset ? QStringLiteral("reset") : QString();
            for (const AlbumIndexChange::Step& step : change.steps)
                line += QStringLiteral("%1@%2 ").arg(step.op == Op::Update ? "update" : step.op == Op::Insert ? "insert" : "remove").arg(step.at);
            lines << line.trimmed();
        }
        return lines;
    }

    test::FakeLibrary library;

private:
    std::vector<AlbumIndexChange> m_changes;
};

} // namespace

TEST_F(AlbumCatalogTest, GroupsALoadedLibraryOnAWorkerAndTakesInChangesMadeMeanwhileInOrder)
{
    library.tracks = {song("a", "Band", "Night"), song("b", "Band", "Night"), song("c", "Solo", "Day")};
    AlbumCatalog catalog(library, kAlwaysOnWorker);
    listen(catalog);
    EXPECT_FALSE(catalog.isCurrent());
    EXPECT_TRUE(catalog.index().albums().empty());

    // Published while the grouping runs: one song moves to a new album, then
    // a song is added to another.
    library.tracks[2].album = QStringLiteral("Dusk");
    emit library.tracksChanged(TrackListChange::updated({2}));
    library.tracks.push_back(song("d", "Band", "Night"));
    emit library.tracksChanged(TrackListChange::inserted({3}));

    ASSERT_TRUE(test::waitUntil([&] { return catalog.isCurrent(); }));
    EXPECT_EQ(albums(catalog), (QStringList {"Band / Night (3)", "Solo / Dusk (1)"}));
    EXPECT_EQ(announced(), QStringList {"reset"});

    // Once grouped, a change reaches only its album.
    library.tracks[0].title = QStringLiteral("a, edited");
    emit library.tracksChanged(TrackListChange::updated({0}));
    EXPECT_TRUE(catalog.isCurrent());
    EXPECT_EQ(announced(), (QStringList {"reset", "update@0"}));
    EXPECT_EQ(catalog.index().albums()[0].tracks[0].title, "a, edited");
}

TEST_F(AlbumCatalogTest, AResetWhileGroupingDropsTheGroupingOfTheOldList)
{
    library.tracks = {song("a", "Band", "Night")};
    AlbumCatalog catalog(library, kAlwaysOnWorker);
    listen(catalog);
    library.tracks = {song("x", "Other", "Noon"), song("y", "Other", "Noon")};
    emit library.tracksChanged(TrackListChange::reset());

    ASSERT_TRUE(test::waitUntil([&] { return catalog.isCurrent(); }));
    EXPECT_EQ(albums(catalog), QStringList {"Other / Noon (2)"});
    EXPECT_EQ(announced(), QStringList {"reset"});
}

TEST_F(AlbumCatalogTest, ASmallLibraryIsGroupedAtOnce)
{
    library.tracks = {song("a", "Band", "Night")};
    AlbumCatalog catalog(library);
    EXPECT_TRUE(catalog.isCurrent());
    EXPECT_EQ(albums(catalog), QStringList {"Band / Night (1)"});
}
