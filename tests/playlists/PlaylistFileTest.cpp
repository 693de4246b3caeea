#include "TestSupport.h"

#include "playlists/PlaylistFile.h"

#include <gtest/gtest.h>

using namespace varno;

namespace {

std::vector<PlaylistFileEntry> entries(std::initializer_list<std::pair<const char*, const char*>> list)
{
    std::vector<PlaylistFileEntry> out;
    for (const auto& [location, title] : list)
        out.push_back({QString::fromUtf8(location), title ? std::optional(QString::fromUtf8(title)) : std::nullopt});
    return out;
}

} // namespace

TEST(PlaylistFileTest, M3uTakesLocationsInOrderWithTheTitleOfTheExtinfBeforeThem)
{
    const QByteArray text = "\xEF\xBB\xBF#EXTM3U\r\n"
                            "#EXTINF:123 tvg-name=\"a,b\",Björk - Jóga\r\n"
                            "music/joga.flac\r\n"
                            "\r\n"
                            "# a comment\n"
                            "/abs/two.mp3\n"
                            "#EXTINF:5,\n"
                            "  three.ogg  \n";
    EXPECT_EQ(parsePlaylistFile(text, PlaylistFileFormat::M3U),
              entries({{"music/joga.flac", "Björk - Jóga"}, {"/abs/two.mp3", nullptr}, {"three.ogg", nullptr}}));
}

TEST(PlaylistFileTest, TextThatIsNotUtf8IsReadAsLatin1)
{
    EXPECT_EQ(parsePlaylistFile("#EXTINF:1,Caf\xE9\nCaf\xE9.mp3\n", PlaylistFileFormat::M3U), entries({{"Café.mp3", "Café"}}));
}

TEST(PlaylistFileTest, PlsEntriesGoByTheirNumbers)
{
    const QByteArray text = "[playlist]\nfile2=b.mp3\nTitle2=Bee\nFile1=a.mp3\nLength1=10\nNumberOfEntries=2\nVersion=2\n";
    EXPECT_EQ(parsePlaylistFile(text, PlaylistFileFormat::PLS), entries({{"a.mp3", nullptr}, {"b.mp3", "Bee"}}));
}

TEST(PlaylistFileTest, FormatsByExtensionInAnyCase)
{
    EXPECT_EQ(playlistFileFormat(QStringLiteral("/x/Mix.M3U8")), PlaylistFileFormat::M3U);
    EXPECT_EQ(playlistFileFormat(QStringLiteral("mix.m3u")), PlaylistFileFormat::M3U);
    EXPECT_EQ(playlistFileFormat(QStringLiteral("mix.pls")), PlaylistFileFormat::PLS);
    EXPECT_FALSE(playlistFileFormat(QStringLiteral("mix.txt")));
}

TEST(PlaylistFileTest, LocationsResolveAgainstTheFilesFolderAndStreamsResolveToNothing)
{
    const QString folder = QStringLiteral("/music/lists");
    EXPECT_EQ(localPathOf(QStringLiteral("../a/b.mp3"), folder), QStringLiteral("/music/a/b.mp3"));
    EXPECT_EQ(localPathOf(QStringLiteral("/abs/c.mp3"), folder), QStringLiteral("/abs/c.mp3"));
    EXPECT_EQ(localPathOf(QStringLiteral("file:///abs/with%20space.mp3"), folder), QStringLiteral("/abs/with space.mp3"));
    EXPECT_EQ(localPathOf(QStringLiteral("sub\\d.mp3"), folder), QStringLiteral("/music/lists/sub/d.mp3"));
    EXPECT_FALSE(localPathOf(QStringLiteral("http://radio.example/live"), folder));
    EXPECT_FALSE(localPathOf(QStringLiteral("rtsp://radio.example/live"), folder));
}

TEST(PlaylistFileTest, ExtinfTitlesSplitIntoArtistAndTitle)
{
    EXPECT_EQ(splitArtistAndTitle(QStringLiteral("A - B - C")).artist, QStringLiteral("A"));
    EXPECT_EQ(splitArtistAndTitle(QStringLiteral("A - B - C")).title, QStringLiteral("B - C"));
    EXPECT_FALSE(splitArtistAndTitle(QStringLiteral("Just a title")).artist);
    EXPECT_EQ(splitArtistAndTitle(QStringLiteral("Trailing - ")).title, QStringLiteral("Trailing - "));
}

TEST(PlaylistFileTest, M3u8ListsEachSongWithItsLengthNameAndAbsolutePath)
{
    Track named = test::makeTrack(QStringLiteral("Jóga"));
    named.artist = QStringLiteral("Björk");
    named.duration = 305.6;
    named.fileURL = FileURL::fromLocalFile(QStringLiteral("/music/joga.flac"));
    Track bare = test::makeTrack(QStringLiteral("Line\nBreak"));
    bare.duration = 0;
    bare.fileURL = FileURL::fromLocalFile(QStringLiteral("/music/bare.wav"));
    EXPECT_EQ(QString::fromStdString(m3u8Text(TrackList {named, bare})),
              QStringLiteral("#EXTM3U\n#EXTINF:306,Björk - Jóga\n/music/joga.flac\n#EXTINF:-1,Line Break\n/music/bare.wav\n"));
}
