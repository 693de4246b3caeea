#include "TestSupport.h"

#include "playlists/OstrelSearchEngine.h"
#include "playlists/SnapshotSearch.h"

#include <gtest/gtest.h>

using namespace varno;

namespace {

fileio::FileVersion tracksFile()
{
    fileio::FileVersion version;
    version.exists = true;
    version.device = 2049;
    version.inode = 77;
    version.size = 1234;
    version.modifiedNanoseconds = 1'765'000'000'000'000'001;
    return version;
}

// Names shared by many songs, absent ones, accents, case, text outside the
// basic plane, and one name that is also a title.
TrackList mixedLibrary()
{
    const QStringList artists {QStringLiteral("Björk"), QStringLiteral("BJORK tribute"), QStringLiteral("Søren"), QStringLiteral("Rain")};
    const QStringList genres {QStringLiteral("Pop"), QStringLiteral("Rock"), QStringLiteral("𝄞 Classical")};
    std::vector<Track> songs;
    for (int i = 0; i < 600; ++i) {
        Track t = test::makeTrack(i % 97 == 0 ? QStringLiteral("Rain") : QStringLiteral("Song %1").arg(i));
        if (i % 5 != 0)
            t.artist = artists[i % artists.size()];
        if (i % 7 != 0)
            t.album = QStringLiteral("Album %1").arg(i / 12);
        if (i % 3 != 0)
            t.genre = genres[i % genres.size()];
        t.trackNumber = i % 12 + 1;
        songs.push_back(t);
    }
    return TrackList(songs);
}

Playlist playlist(const QString& name)
{
    Playlist p;
    p.id = QUuid::createUuid();
    p.name = name;
    return p;
}

std::vector<Track> values(const TrackList& list)
{
    return std::vector<Track>(list.begin(), list.end());
}

} // namespace

TEST(SnapshotSearch, FindsWhatTheSearchEngineFindsInTheLoadedLibrary)
{
    const TrackList library = mixedLibrary();
    const QList<Playlist> playlists {playlist(QStringLiteral("Rainy Days")), playlist(QStringLiteral("Björk at home"))};
    OstrelSearchEngine engine;
    engine.updateTracks(library);
    engine.updatePlaylists(playlists);
    const std::string bytes = snapshot::encode(library, tracksFile());
    const std::unique_ptr<snapshot::Mapping> mapping = snapshot::Mapping::over(bytes, tracksFile());
    ASSERT_TRUE(mapping);

    // A few songs, built one by one; most of the library, built at once;
    // names only; nothing; accents alone; and an empty query.
    for (const QString& query : {QStringLiteral("bjork"), QStringLiteral("song 1"), QStringLiteral("o"), QStringLiteral("SOREN"),
                                 QStringLiteral("𝄞"), QStringLiteral("rain"), QStringLiteral("album 4"), QStringLiteral("song 12"), QStringLiteral("song 599"), QStringLiteral("nothing like it"),
                                 QStringLiteral("\u0301"), QString()}) {
        const SearchResults expected = engine.searchImmediately(query);
        const std::optional<SearchResults> found = searchSnapshot(*mapping, query, playlists);
        ASSERT_TRUE(found.has_value()) << query.toStdString();
        EXPECT_EQ(values(found->songs), values(expected.songs)) << query.toStdString();
        EXPECT_EQ(found->artists, expected.artists) << query.toStdString();
        EXPECT_EQ(found->albums, expected.albums) << query.toStdString();
        EXPECT_EQ(found->genres, expected.genres) << query.toStdString();
        EXPECT_EQ(found->playlists, expected.playlists) << query.toStdString();
        EXPECT_EQ(found->query, query);
    }
}

TEST(SnapshotSearch, ReadsOnlyThePartsItNeedsAndRefusesThemDamaged)
{
    const TrackList library = mixedLibrary();
    const std::string bytes = snapshot::encode(library, tracksFile());

    // The search table lies first in the body and the songs' records last:
    // damage among the last records leaves a search that finds none of
    // them working, while those songs, and loading everything, are refused.
    std::string damagedRecord = bytes;
    damagedRecord[bytes.size() - 40] ^= 0x01;
    const std::unique_ptr<snapshot::Mapping> mapping = snapshot::Mapping::over(damagedRecord, tracksFile());
    ASSERT_TRUE(mapping);
    const std::optional<SearchResults> early = searchSnapshot(*mapping, QStringLiteral("song 12"), {});
    ASSERT_TRUE(early.has_value());
    EXPECT_EQ(early->songs.size(), 11u);
    EXPECT_EQ(early->songs[0], library[12]);
    EXPECT_FALSE(mapping->song(library.size() - 1).has_value());
    EXPECT_FALSE(mapping->songs().has_value());
    // Once a piece fails, nothing more is trusted.
    EXPECT_FALSE(searchSnapshot(*mapping, QStringLiteral("song 12"), {}).has_value());

    // Damage in the search table itself refuses the search.
    std::string damagedTable = bytes;
    std::size_t firstBodyByte = bytes.size();
    for (std::size_t at = 0; at < bytes.size(); at += 64) {
        std::string probe = bytes;
        probe[at] ^= 0x01;
        // The first byte whose damage the header does not notice is the body's.
        if (snapshot::Mapping::over(probe, tracksFile())) {
            firstBodyByte = at;
            break;
        }
    }
    ASSERT_LT(firstBodyByte, bytes.size());
    damagedTable[firstBodyByte] ^= 0x01;
    const std::unique_ptr<snapshot::Mapping> broken = snapshot::Mapping::over(damagedTable, tracksFile());
    ASSERT_TRUE(broken);
    EXPECT_FALSE(searchSnapshot(*broken, QStringLiteral("song"), {}).has_value());
}
