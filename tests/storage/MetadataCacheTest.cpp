#include "TestSupport.h"

#include "storage/MetadataCache.h"

using namespace varno;
using test::await;

namespace {

Track song(const QString& title, std::optional<QString> artist, std::optional<QString> album = {}, std::optional<QString> genre = {})
{
    Track t = test::makeTrack(title);
    t.artist = std::move(artist);
    t.album = std::move(album);
    t.genre = std::move(genre);
    return t;
}

} // namespace

TEST(MetadataCache, IndexesTrimmedCaseSensitiveKeys)
{
    MetadataCache cache;
    await(cache.insert({song(QStringLiteral("a"), QStringLiteral("  Nina \n"), QStringLiteral("Blue")),
                        song(QStringLiteral("b"), QStringLiteral("nina"), QStringLiteral("Blue")),
                        song(QStringLiteral("c"), QStringLiteral("   "), QStringLiteral("Zed"))}));
    EXPECT_EQ(test::titlesOf(await(cache.tracksByArtist(QStringLiteral("Nina")))), QStringList {"a"});
    EXPECT_TRUE(await(cache.tracksByArtist(QStringLiteral("  Nina \n"))).empty());
    // In no particular order.
    QStringList blue = test::titlesOf(await(cache.tracksByAlbum(QStringLiteral("Blue"))));
    blue.sort();
    EXPECT_EQ(blue, (QStringList {"a", "b"}));
    EXPECT_EQ(await(cache.allArtists()), (QStringList {"Nina", "nina"}));
    EXPECT_EQ(await(cache.allAlbums()), (QStringList {"Blue", "Zed"}));
}

TEST(MetadataCache, LookupsCountHitsAndMissesUntilCleared)
{
    MetadataCache cache;
    const Track a = song(QStringLiteral("a"), QStringLiteral("X"));
    await(cache.insert({a}));
    EXPECT_EQ(await(cache.track(a.id)), a);
    EXPECT_FALSE(await(cache.track(QUuid::createUuid())).has_value());
    EXPECT_FALSE(await(cache.track(QUuid::createUuid())).has_value());
    EXPECT_EQ(await(cache.hitCount()), 1);
    EXPECT_EQ(await(cache.missCount()), 2);

    await(cache.clear());
    EXPECT_EQ(await(cache.hitCount()), 0);
    EXPECT_EQ(await(cache.missCount()), 0);
    EXPECT_TRUE(await(cache.allArtists()).isEmpty());
}

TEST(MetadataCache, EvictionDropsEmptyKeysAndReinsertKeepsOldKeys)
{
    MetadataCache cache;
    Track only = song(QStringLiteral("only"), QStringLiteral("Solo"), QStringLiteral("Single"));
    Track other = song(QStringLiteral("other"), QStringLiteral("Solo"), QStringLiteral("LP"));
    await(cache.insert({only, other}));
    await(cache.evict(only));
    EXPECT_EQ(await(cache.allAlbums()), QStringList {"LP"});
    EXPECT_EQ(test::titlesOf(await(cache.tracksByArtist(QStringLiteral("Solo")))), QStringList {"other"});

    // A changed album leaves the song under its old key while it is cached.
    Track moved = other;
    moved.album = QStringLiteral("Remaster");
    await(cache.insert({moved}));
    EXPECT_EQ(test::titlesOf(await(cache.tracksByAlbum(QStringLiteral("LP")))), QStringList {"other"});
    EXPECT_EQ(await(cache.allAlbums()), (QStringList {"LP", "Remaster"}));
    // A song inserted again, even twice at once, is listed once under a key.
    await(cache.insert({moved, moved}));
    EXPECT_EQ(test::titlesOf(await(cache.tracksByArtist(QStringLiteral("Solo")))), QStringList {"other"});
}

TEST(MetadataCache, ConcurrentCallersAreSerialised)
{
    MetadataCache cache;
    std::vector<QCoro::Task<>> inserts;
    for (int i = 0; i < 50; ++i)
        inserts.push_back(cache.insert({song(QString::number(i), QStringLiteral("A%1").arg(i % 5))}));
    for (auto& task : inserts)
        await(std::move(task));
    EXPECT_EQ(await(cache.allArtists()).size(), 5);
    EXPECT_EQ(await(cache.tracksByArtist(QStringLiteral("A3"))).size(), 10u);
}
