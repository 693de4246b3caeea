#include "TestSupport.h"

#include "workspace/AlbumIndex.h"

#include <gtest/gtest.h>

#include <optional>

using namespace varno;
using Op = AlbumIndexChange::Op;

namespace {

Track song(const QString& title, std::optional<QString> artist, std::optional<QString> album,
           std::optional<std::int64_t> disc = {}, std::optional<std::int64_t> number = {})
{
    Track track = test::makeTrack(title);
    track.artist = std::move(artist);
    track.album = std::move(album);
    track.discNumber = disc;
    track.trackNumber = number;
    return track;
}

QStringList tilesOf(const AlbumIndex& index)
{
    QStringList tiles;
    for (const Album& album : index.albums())
        tiles << album.artist() + QStringLiteral(" / ") + album.title();
    return tiles;
}

TrackList withReplaced(TrackList tracks, std::size_t at, const Track& song)
{
    tracks.replace(at, std::make_shared<const Track>(song));
    return tracks;
}

} // namespace

TEST(AlbumIndexTest, GroupsByArtistAndAlbumSortedCaseInsensitively)
{
    AlbumIndex index;
    index.reset(TrackList {song("a", "zeta", "Blue"), song("b", "Alpha", "red"), song("c", "alpha", "Green"),
                           song("d", "zeta", "Blue"), song("e", "Alpha", "Red")});
    EXPECT_EQ(tilesOf(index), (QStringList {"Alpha / Red", "Alpha / red", "alpha / Green", "zeta / Blue"}));
    EXPECT_EQ(index.albums()[3].tracks.size(), 2u);
}

TEST(AlbumIndexTest, SongsWithoutAlbumAreTheArtistsUnknownAlbum)
{
    AlbumIndex index;
    index.reset(TrackList {song("a", "Kora", std::nullopt), song("b", "Kora", QString()), song("c", std::nullopt, std::nullopt)});
    EXPECT_EQ(tilesOf(index), (QStringList {"Unknown Artist / Unknown Album", "Kora / Unknown Album"}));
    EXPECT_EQ(index.albums()[1].tracks.size(), 2u);
}

TEST(AlbumIndexTest, AlbumArtistWinsOverArtist)
{
    Track guest = song("Duet", "Guest", "Live");
    guest.albumArtist = QStringLiteral("Host");
    Track host = song("Solo", "Host", "Live");
    AlbumIndex index;
    index.reset(TrackList {guest, host});
    ASSERT_EQ(tilesOf(index), QStringList {"Host / Live"});
    EXPECT_EQ(test::titlesOf(index.albums()[0].tracks), (QStringList {"Duet", "Solo"}));
}

TEST(AlbumIndexTest, SongsAreInDiscTrackTitleOrderMissingNumbersFirst)
{
    AlbumIndex index;
    index.reset(TrackList {song("d2t1", "A", "X", 2, 1), song("d1t2", "A", "X", 1, 2), song("none b", "A", "X"),
                           song("d1t1", "A", "X", 1, 1), song("none a", "A", "X")});
    EXPECT_EQ(test::titlesOf(index.albums()[0].tracks), (QStringList {"none a", "none b", "d1t1", "d1t2", "d2t1"}));
}

TEST(AlbumIndexTest, YearIsTheEarliestGiven)
{
    Track first = song("a", "A", "X");
    first.year = 2004;
    Track second = song("b", "A", "X");
    second.year = 1999;
    AlbumIndex index;
    index.reset(TrackList {first, second, song("c", "A", "X")});
    EXPECT_EQ(index.albums()[0].year, 1999);
}

TEST(AlbumIndexTest, AnEditInsideOneAlbumUpdatesThatAlbumOnly)
{
    const TrackList before {song("a", "A", "X", 1, 2), song("b", "A", "X", 1, 1), song("c", "B", "Y")};
    AlbumIndex index;
    index.reset(before);
    Track renamed = before[0];
    renamed.trackNumber = 0;
    const AlbumIndexChange change = index.apply(withReplaced(before, 0, renamed), TrackListChange::updated({0}));
    EXPECT_FALSE(change.reset);
    EXPECT_EQ(change.steps, (std::vector<AlbumIndexChange::Step> {{Op::Update, 0}}));
    EXPECT_EQ(test::titlesOf(index.albums()[0].tracks), (QStringList {"a", "b"}));
}

TEST(AlbumIndexTest, MovingTheLastSongOfAnAlbumRemovesItAndCreatesTheNewOne)
{
    const TrackList before {song("a", "A", "X"), song("c", "C", "Z")};
    AlbumIndex index;
    index.reset(before);
    Track moved = before[0];
    moved.artist = QStringLiteral("D");
    const AlbumIndexChange change = index.apply(withReplaced(before, 0, moved), TrackListChange::updated({0}));
    EXPECT_EQ(change.steps, (std::vector<AlbumIndexChange::Step> {{Op::Remove, 0}, {Op::Insert, 1}}));
    EXPECT_EQ(tilesOf(index), (QStringList {"C / Z", "D / X"}));
}

TEST(AlbumIndexTest, InsertionsAndRemovalsTouchOnlyTheirAlbums)
{
    TrackList tracks {song("a", "A", "X"), song("b", "B", "Y")};
    AlbumIndex index;
    index.reset(tracks);

    tracks.append(std::make_shared<const Track>(song("b2", "B", "Y")));
    tracks.append(std::make_shared<const Track>(song("c", "AB", "W")));
    AlbumIndexChange change = index.apply(tracks, TrackListChange::inserted({2, 3}));
    EXPECT_EQ(change.steps, (std::vector<AlbumIndexChange::Step> {{Op::Insert, 1}, {Op::Update, 2}}));
    EXPECT_EQ(tilesOf(index), (QStringList {"A / X", "AB / W", "B / Y"}));

    tracks.removeAt(0);
    change = index.apply(tracks, TrackListChange::removed({0}));
    EXPECT_EQ(change.steps, (std::vector<AlbumIndexChange::Step> {{Op::Remove, 0}}));
    EXPECT_EQ(tilesOf(index), (QStringList {"AB / W", "B / Y"}));
    EXPECT_TRUE(index.apply(tracks, TrackListChange::reset()).reset);
}

TEST(AlbumIndexTest, ArtistsCountTheirSongsAndAlbums)
{
    AlbumIndex index;
    index.reset(TrackList {song("a", "A", "X"), song("b", "A", "Y"), song("c", "A", "Y"), song("d", "B", std::nullopt)});
    const std::vector<ArtistSummary> artists = index.artists();
    ASSERT_EQ(artists.size(), 2u);
    EXPECT_EQ(artists[0].name(), "A");
    EXPECT_EQ(artists[0].songCount, 3);
    EXPECT_EQ(artists[0].albumCount, 2);
    EXPECT_EQ(artists[1].firstAlbum, 2u);
    EXPECT_EQ(index.find("B", QString()), 2u);
}
