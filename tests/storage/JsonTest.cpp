#include "TestSupport.h"

#include "storage/Json.h"
#include "storage/StateCodecs.h"

#include <cmath>
#include <limits>

using namespace varno;
using namespace varno::json;

namespace {

std::string written(auto&& produce)
{
    std::string out;
    Writer w(out);
    produce(w);
    return out;
}

fileio::FileBytes bytesOf(std::string_view text)
{
    auto data = std::make_unique<char[]>(text.size() + fileio::kReadPadding);
    std::copy(text.begin(), text.end(), data.get());
    std::fill_n(data.get() + text.size(), fileio::kReadPadding, '\0');
    return fileio::FileBytes(std::move(data), text.size(), text.size() + fileio::kReadPadding);
}

QString decodeError(std::string_view text)
{
    return test::errorText([&] { decodeTracks(bytesOf(text), "tracks.json"); });
}

std::string trackJson(std::string_view extra = {}, std::string_view title = R"("title":"Song")")
{
    std::string s = R"({"id":"0F6C2B9E-0000-4000-8000-000000000001","fileURL":"file:///m/a.mp3","filename":"a.mp3",)";
    s += title;
    s += R"(,"duration":1.5)";
    s += extra;
    s += "}";
    return s;
}

} // namespace

TEST(JsonWriter, EscapesStringsPerRfc8259AndKeepsUnicode)
{
    const QString text = QStringLiteral("quote\" back\\ slash/ tab\t nl\n bell\x07 é 日本 🎵");
    const std::string out = written([&](Writer& w) { w.string(QStringView(text)); });
    EXPECT_EQ(out, "\"quote\\\" back\\\\ slash/ tab\\t nl\\n bell\\u0007 é 日本 🎵\"");

    Document document(QByteArrayView(out), "x.json");
    EXPECT_EQ(readString(document.root(), document.path()), text);
}

TEST(JsonWriter, NumbersUseShortestRoundTripForm)
{
    const std::string out = written([](Writer& w) {
        w.beginArray();
        w.number(0.1);
        w.number(180.0);
        w.number(-0.0);
        w.number(1e21);
        w.number(0.8f);
        w.integer(std::numeric_limits<std::int64_t>::min());
        w.timestamp(Timestamp::fromSecondsSinceReferenceDate(786123456.123456789));
        w.endArray();
    });
    EXPECT_EQ(out, "[0.1,180,-0,1e+21,0.8,-9223372036854775808,786123456.1234568]");
}

TEST(JsonWriter, NonFiniteNumberIsAnEncodingErrorNotInvalidJson)
{
    for (const double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        std::string out;
        Writer w(out);
        w.beginObject();
        EXPECT_THROW(w.key("duration").number(bad), EncodingError);
        EXPECT_EQ(out, "{\"duration\":");
    }
    Track track = test::makeTrack(QStringLiteral("x"));
    track.duration = std::nan("");
    EXPECT_EQ(test::errorText([&] { encodeTracks({track}); }),
              QStringLiteral("The data could not be written as JSON: NaN is not a valid JSON number (key \"duration\")"));
}

TEST(JsonWriter, UuidsAreUpperCaseAndBytesBase64)
{
    const QUuid id = QUuid::fromString(QStringLiteral("0f6c2b9e-1d2a-4f7b-9c3e-5a6b7c8d9e0f"));
    const std::string out = written([&](Writer& w) {
        w.beginArray();
        w.uuid(id);
        w.bytes(QByteArray("\x00\xff bookmark", 11));
        w.endArray();
    });
    EXPECT_EQ(out, "[\"0F6C2B9E-1D2A-4F7B-9C3E-5A6B7C8D9E0F\",\"AP8gYm9va21hcms=\"]");
}

TEST(JsonWriter, FileUrlsSurviveAwkwardCharacters)
{
    const QStringList paths = {
        QStringLiteral("/music/My Song #1 (100%)?.mp3"),
        QStringLiteral("/music/Beyoncé/Déjà vu.flac"),
        QStringLiteral("/music/日本語/曲.m4a"),
        QStringLiteral("/music/a%20b/literal%41.mp3"),
        QStringLiteral("/music/emoji 🎵/x;y=z&w+v.ogg"),
    };
    for (const QString& path : paths) {
        Track track = test::makeTrack(QStringLiteral("t"));
        track.fileURL = FileURL::fromLocalFile(path);
        const std::string out = encodeTracks({track});
        const std::string urlText = out.substr(out.find("file:"), out.find("\",\"filename") - out.find("file:"));
        EXPECT_EQ(urlText.find_first_of(" #?"), std::string::npos) << urlText;
        const std::vector<Track> back = decodeTracks(bytesOf(out), "tracks.json");
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0].fileURL.toLocalFile(), path);
        EXPECT_EQ(back[0], track);
    }
}

TEST(FileURL, BuiltLikeQUrlAndStoredTextKept)
{
    const QStringList paths = {
        QStringLiteral("/music/My Song #1 (100%)?.mp3"), QStringLiteral("/a/[x]{y}<z>|^`\\\"q.flac"),
        QStringLiteral("/m/Beyonc\u00e9/\u65e5\u672c/\U0001F3B5.ogg"), QStringLiteral("/m/!$&'()*+,;=:@~_-.wav"),
        QStringLiteral("/tab\there/new\nline.mp3"), QStringLiteral("/"),
    };
    for (const QString& path : paths) {
        const FileURL url = FileURL::fromLocalFile(path);
        EXPECT_EQ(url.encoded(), QUrl::fromLocalFile(path).toEncoded(QUrl::FullyEncoded)) << path.toStdString();
        EXPECT_EQ(url.toLocalFile(), path);
        EXPECT_TRUE(url.isLocalFile());
    }
    // Text from other writers: kept when it is valid URL text, escaped when raw.
    EXPECT_EQ(FileURL::fromEncoded("file:///a/%41b.mp3")->encoded(), QByteArray("file:///a/%41b.mp3"));
    EXPECT_EQ(FileURL::fromEncoded("file:///a b/\xc3\xa9.mp3")->toLocalFile(), QStringLiteral("/a b/\u00e9.mp3"));
    EXPECT_FALSE(FileURL::fromEncoded("/not/a/url").has_value());
    EXPECT_FALSE(FileURL::fromEncoded("").has_value());
}

TEST(JsonReader, AcceptsAnyValidLayoutOfARecord)
{
    const std::string pretty = R"(
    [
      {
        "unknown" : { "nested" : [1, 2, {"x": null}] },
        "duration" : 3,
        "title" : "A\/B \u00e9",
        "fileURL" : "file:\/\/\/m\/a%20b.mp3",
        "filename" : "a b.mp3",
        "id" : "0f6c2b9e-0000-4000-8000-000000000001",
        "artist" : null,
        "year" : 1999.0
      }
    ]
    )";
    const std::vector<Track> tracks = decodeTracks(bytesOf(pretty), "tracks.json");
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks[0].title, QStringLiteral("A/B é"));
    EXPECT_EQ(tracks[0].fileURL.toLocalFile(), QStringLiteral("/m/a b.mp3"));
    EXPECT_EQ(tracks[0].id, QUuid::fromString(QStringLiteral("0F6C2B9E-0000-4000-8000-000000000001")));
    EXPECT_EQ(tracks[0].duration, 3.0);
    EXPECT_FALSE(tracks[0].artist.has_value());
    EXPECT_EQ(tracks[0].year, 1999);
}

TEST(JsonReader, ErrorsNameTheFileTheItemAndTheKey)
{
    std::string list = "[";
    for (int i = 0; i < 17; ++i)
        list += trackJson() + ",";
    EXPECT_EQ(decodeError(list + trackJson({}, R"("title":42)") + "]"),
              QStringLiteral("tracks.json: item 17: key \"title\": expected a string"));
    EXPECT_EQ(decodeError("[" + trackJson({}, R"("name":"x")") + "]"),
              QStringLiteral("tracks.json: item 0: key \"title\": required key is missing"));
    EXPECT_EQ(decodeError("[" + trackJson(R"(,"year":1.5)") + "]"), QStringLiteral("tracks.json: item 0: key \"year\": expected an integer"));
    EXPECT_EQ(decodeError("[" + trackJson(R"(,"securityScopedBookmark":"@@@")") + "]"),
              QStringLiteral("tracks.json: item 0: key \"securityScopedBookmark\": expected Base64 data"));
    EXPECT_EQ(decodeError(R"([{"id":"not-a-uuid"}])"), QStringLiteral("tracks.json: item 0: key \"id\": expected a UUID"));
    EXPECT_EQ(decodeError("{}"), QStringLiteral("tracks.json: expected an array"));
    EXPECT_EQ(decodeError("[1]"), QStringLiteral("tracks.json: item 0: expected an object"));
    EXPECT_EQ(decodeError("[] []"), QStringLiteral("tracks.json: unexpected content after the JSON value"));
    EXPECT_TRUE(decodeError("[{\"id\": ").startsWith(QStringLiteral("tracks.json: ")));
    EXPECT_EQ(decodeError("\x01\x02garbage"), QStringLiteral("tracks.json: expected an array"));
}

// Strings are read in place from the file; escapes, in values and in keys,
// still mean what JSON says, and a broken one is an error, never garbage.
TEST(JsonReader, EscapedStringsAndKeysReadLikeAnyOther)
{
    const std::string escaped = trackJson(R"(,"\u0061rtist":"AC\/DC \"Live\"\\\n","album":"\u00E9t\u00E9 \uD83C\uDFB5","composer":"")",
                                          R"("title":"Tab\tBell\u0007")");
    for (const TrackList& tracks : {decodeTrackList(bytesOf("[" + escaped + "]"), "tracks.json"),
                                    TrackList(decodeTracks(bytesOf("[" + escaped + "]"), "tracks.json"))}) {
        ASSERT_EQ(tracks.size(), 1u);
        EXPECT_EQ(tracks[0].title, QStringLiteral("Tab\tBell\u0007"));
        EXPECT_EQ(tracks[0].artist, QStringLiteral("AC/DC \"Live\"\\\n"));
        EXPECT_EQ(tracks[0].album, QStringLiteral("\u00E9t\u00E9 ") + QString::fromUcs4(U"\U0001F3B5"));
        ASSERT_TRUE(tracks[0].composer);
        EXPECT_TRUE(tracks[0].composer->isEmpty());
    }
    EXPECT_TRUE(decodeError("[" + trackJson(R"(,"artist":"bad \x escape")") + "]").startsWith(QStringLiteral("tracks.json: item 0: key \"artist\": ")));
    EXPECT_TRUE(decodeError("[" + trackJson(R"(,"artist":"half \uD83C pair")") + "]").startsWith(QStringLiteral("tracks.json: item 0: key \"artist\": ")));
}

TEST(JsonReader, LeadingByteOrderMarkIsSkipped)
{
    const std::vector<Track> tracks = decodeTracks(bytesOf("\xEF\xBB\xBF[" + trackJson() + "]"), "tracks.json");
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks[0].title, QStringLiteral("Song"));
    // Anywhere but the start it is not JSON.
    EXPECT_TRUE(decodeError("[\xEF\xBB\xBF]").startsWith(QStringLiteral("tracks.json: ")));
}

TEST(JsonReader, SingleValuesForPreferences)
{
    EXPECT_EQ(decodeValue<bool>(QByteArray("true"), "p"), true);
    EXPECT_EQ(decodeValue<double>(QByteArray(" 2.5 "), "p"), 2.5);
    EXPECT_EQ(decodeValue<QStringList>(QByteArray(R"(["a","b\/c"])"), "p"), (QStringList {"a", "b/c"}));
    EXPECT_THROW(decodeValue<int>(QByteArray("\"x\""), "p"), DecodingError);
    EXPECT_THROW(decodeValue<bool>(QByteArray("true false"), "p"), DecodingError);
    EXPECT_EQ(encodeValue(QStringList {"a", "é"}), "[\"a\",\"é\"]");
}

// The reading functions other rooms use hand out values through callbacks;
// what they read, and the paths of their errors, are those of the codecs.
TEST(JsonValue, ReadsAnyKeyOrderAndNamesTheItemAndKeyOfAFailure)
{
    static constexpr std::string_view names[] = {"id", "sizes"};
    static const KeyTable table(names);
    const auto decode = [](std::string_view text) {
        std::vector<std::pair<QUuid, std::vector<double>>> rows;
        Document document(QByteArrayView(text), "rows.json");
        forEachItem(document.root(), document.path(), [&](std::int64_t, Value item, const Path& at) {
            auto& row = rows.emplace_back();
            decodeFields(item, at, table, 0b11, [&](std::size_t key, Value value, const Path& keyPath) {
                if (key == 0)
                    row.first = readUuid(value, keyPath);
                else
                    forEachItem(value, keyPath, [&](std::int64_t, Value size, const Path& sizePath) { row.second.push_back(readDouble(size, sizePath)); });
            });
        });
        document.expectEnd();
        return rows;
    };
    const auto rows = decode(R"([{"sizes":[1,2.5e1],"note":{"x":[]},"id":"0F6C2B9E-0000-4000-8000-000000000001"}])");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].first, QUuid::fromString(QStringLiteral("0F6C2B9E-0000-4000-8000-000000000001")));
    EXPECT_EQ(rows[0].second, (std::vector<double> {1, 25}));

    EXPECT_EQ(test::errorText([&] { decode(R"([{"id":"0F6C2B9E-0000-4000-8000-000000000001","sizes":[1,"x"]}])"); }),
              QStringLiteral("rows.json: item 0: key \"sizes\": item 1: expected a number"));
    EXPECT_EQ(test::errorText([&] { decode(R"([{"sizes":[]}])"); }), QStringLiteral("rows.json: item 0: key \"id\": required key is missing"));
    EXPECT_EQ(test::errorText([&] { decode("[] []"); }), QStringLiteral("rows.json: unexpected content after the JSON value"));
}

TEST(JsonValue, ANumberTooLargeForADoubleCanStillBeReadAsText)
{
    Document document(QByteArrayView("[1e400 , 7]"), "n.json");
    std::vector<std::string> tokens;
    std::vector<std::optional<double>> numbers;
    forEachItem(document.root(), document.path(), [&](std::int64_t, Value item, const Path&) {
        numbers.push_back(tryReadDouble(item));
        tokens.emplace_back(rawToken(item));
    });
    EXPECT_EQ(numbers, (std::vector<std::optional<double>> {std::nullopt, 7.0}));
    EXPECT_EQ(tokens, (std::vector<std::string> {"1e400 ", "7"}));
}
