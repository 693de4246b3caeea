#include "PlaylistCodec.h"

#include "storage/StateCodecs.h"

namespace varno::json {

namespace {

void encodeType(Writer& w, const PlaylistType& type)
{
    w.beginObject();
    switch (type.kind()) {
    case PlaylistType::Kind::Standard:
        w.key("standard").beginObject();
        w.endObject();
        break;
    case PlaylistType::Kind::Smart:
        w.key("smart").beginObject();
        w.key("criteria").string(QStringView(type.criteria()));
        w.endObject();
        break;
    case PlaylistType::Kind::Folder:
        w.key("folder").beginObject();
        w.endObject();
        break;
    }
    w.endObject();
}

PlaylistType decodeType(od::value& value, const Path& path)
{
    // Exactly one case key; other keys are ignored and do not count.
    int cases = 0;
    std::optional<PlaylistType> type;
    forEachField(value, path, [&](std::string_view key, od::value& caseValue, const Path& at) {
        if (key == "standard" || key == "folder") {
            ++cases;
            readObject(caseValue, at);
            type = key == "standard" ? PlaylistType::standard() : PlaylistType::folder();
        } else if (key == "smart") {
            ++cases;
            std::optional<QString> criteria;
            forEachField(caseValue, at, [&](std::string_view k, od::value& v, const Path& kp) {
                if (k == "criteria")
                    criteria = readString(v, kp);
            });
            if (!criteria)
                at.key("criteria").fail("required key is missing");
            type = PlaylistType::smart(*criteria);
        }
    });
    if (cases != 1)
        path.fail("Invalid number of keys found, expected one.");
    return *type;
}

} // namespace

void encode(Writer& w, const Playlist& p)
{
    w.beginObject();
    w.key("id").uuid(p.id);
    w.key("name").string(QStringView(p.name));
    encodeOptionalString(w, "description", p.description);
    w.key("tags");
    Codec<QStringList>::encode(w, p.tags);
    w.key("isFavorite").boolean(p.isFavorite);
    w.key("type");
    encodeType(w, p.type);
    w.key("trackIDs");
    w.uuidArray(p.trackIDs);
    w.key("childrenIDs");
    w.uuidArray(p.childrenIDs);
    w.endObject();
}

Playlist decodePlaylist(od::value& value, const Path& path)
{
    enum : std::size_t { kId, kName, kDescription, kTags, kFavorite, kType, kTracks, kChildren, kCount };
    static constexpr std::string_view names[] = {"id", "name", "description", "tags", "isFavorite", "type", "trackIDs", "childrenIDs"};
    static const KeyTable table(names);
    constexpr std::uint32_t required = ((1u << kCount) - 1) & ~(1u << kDescription);

    Playlist p;
    decodeFields(value, path, table, required, [&](std::size_t i, od::value& v, const Path& at) {
        switch (i) {
        case kId: p.id = readUuid(v, at); break;
        case kName: p.name = readString(v, at); break;
        case kDescription: readOptional(v, p.description, [&] { return readString(v, at); }); break;
        case kTags: p.tags = readStringArray(v, at); break;
        case kFavorite: p.isFavorite = readBool(v, at); break;
        case kType: p.type = decodeType(v, at); break;
        case kTracks: p.trackIDs = readUuidArray<od::value, QList<QUuid>>(v, at); break;
        case kChildren: p.childrenIDs = readUuidArray<od::value, QList<QUuid>>(v, at); break;
        }
    });
    return p;
}

std::string encodePlaylists(const std::vector<Playlist>& playlists)
{
    std::string out;
    Writer w(out);
    w.beginArray();
    for (const Playlist& p : playlists)
        encode(w, p);
    w.endArray();
    return out;
}

std::vector<Playlist> decodePlaylists(const fileio::FileBytes& bytes, std::string_view fileName)
{
    return decodeArray<Playlist>(bytes, fileName, [](od::value& v, const Path& at) { return decodePlaylist(v, at); });
}

} // namespace varno::json
