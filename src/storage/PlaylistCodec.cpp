#include "PlaylistCodec.h"

#include "storage/JsonLimits.h"
#include "storage/JsonReader.h"
#include "storage/StateCodecs.h"

namespace varno::json {

namespace {

// A smart playlist's rules: {"matchAll": true, "rules": [{"property":
// "Genre", "condition": "contains", "value": "Jazz"}]}, the property and
// the condition by the texts the rule sheet shows.
void encodeRules(Writer& w, const SmartRuleSet& rules)
{
    w.beginObject();
    w.key("matchAll").boolean(rules.matchAllRules);
    w.key("rules").beginArray();
    for (const SmartRule& rule : rules.rules) {
        w.beginObject();
        w.key("property").string(QStringView(rawValue(rule.property)));
        w.key("condition").string(QStringView(rawValue(rule.condition)));
        w.key("value").string(QStringView(rule.value));
        w.endObject();
    }
    w.endArray();
    w.endObject();
}

// Absent when a rule names a property or condition this version does not
// know (a later one wrote it): the playlist then falls back on its criteria
// text, rather than the whole file failing to load.
std::optional<SmartRuleSet> decodeRules(od::value& value, const Path& path)
{
    enum : std::size_t { kMatchAll, kRules, kCount };
    static constexpr std::string_view names[] = {"matchAll", "rules"};
    static const KeyTable table(names);
    SmartRuleSet set;
    bool known = true;
    decodeFields(value, path, table, (1u << kCount) - 1, [&](std::size_t i, od::value& v, const Path& at) {
        if (i == kMatchAll) {
            set.matchAllRules = readBool(v, at);
            return;
        }
        forEachItem(v, at, [&](std::int64_t, od::value& item, const Path& itemPath) {
            enum : std::size_t { kProperty, kCondition, kValue, kRuleCount };
            static constexpr std::string_view ruleNames[] = {"property", "condition", "value"};
            static const KeyTable ruleTable(ruleNames);
            QString property;
            QString condition;
            SmartRule rule;
            decodeFields(item, itemPath, ruleTable, (1u << kRuleCount) - 1, [&](std::size_t k, od::value& field, const Path& fieldPath) {
                switch (k) {
                case kProperty: property = readString(field, fieldPath); break;
                case kCondition: condition = readString(field, fieldPath); break;
                case kValue: rule.value = readString(field, fieldPath); break;
                }
            });
            const std::optional<SmartRuleProperty> knownProperty = smartRulePropertyFromRawValue(property);
            const std::optional<SmartRuleCondition> knownCondition = smartRuleConditionFromRawValue(condition);
            if (!knownProperty || !knownCondition) {
                known = false;
                return;
            }
            rule.property = *knownProperty;
            rule.condition = *knownCondition;
            set.rules.push_back(std::move(rule));
        });
    });
    if (!known)
        return std::nullopt;
    return set;
}

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
        if (type.rules()) {
            w.key("rules");
            encodeRules(w, *type.rules());
        }
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
            std::optional<SmartRuleSet> rules;
            forEachField(caseValue, at, [&](std::string_view k, od::value& v, const Path& kp) {
                if (k == "criteria")
                    criteria = readString(v, kp);
                else if (k == "rules" && !isNull(v))
                    rules = decodeRules(v, kp);
            });
            if (!criteria)
                at.key("criteria").fail("required key is missing");
            type = PlaylistType::smart(*criteria, std::move(rules));
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

namespace {

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

} // namespace

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
    refuseOversizedStateFile(bytes, fileName);
    return decodeArray<Playlist>(bytes, fileName, [](od::value& v, const Path& at) { return decodePlaylist(v, at); });
}

void encode(Writer& w, const PlaylistRecord& r)
{
    w.beginObject();
    w.key("id").uuid(r.id);
    w.key("name").string(QStringView(r.name));
    if (r.parentFolderID)
        w.key("parentFolderID").uuid(*r.parentFolderID);
    w.key("isFolder").boolean(r.isFolder);
    w.key("isSmart").boolean(r.isSmart);
    encodeOptionalString(w, "smartCriteria", r.smartCriteria);
    if (r.smartRules) {
        w.key("smartRules");
        encodeRules(w, *r.smartRules);
    }
    w.key("isFavorite").boolean(r.isFavorite);
    encodeOptionalString(w, "description", r.description);
    w.key("tags");
    Codec<QStringList>::encode(w, r.tags);
    w.key("trackIDs");
    w.uuidArray(r.trackIDs);
    w.key("displayOrderIndex").integer(r.displayOrderIndex);
    w.endObject();
}

namespace {

PlaylistRecord decodePlaylistRecord(od::value& value, const Path& path)
{
    enum : std::size_t { kId, kName, kParent, kFolder, kSmart, kCriteria, kRules, kFavorite, kDescription, kTags, kTracks, kOrder, kCount };
    static constexpr std::string_view names[] = {"id",         "name",       "parentFolderID", "isFolder", "isSmart",
                                                 "smartCriteria", "smartRules", "isFavorite",   "description", "tags",
                                                 "trackIDs",   "displayOrderIndex"};
    static const KeyTable table(names);
    constexpr std::uint32_t required = ((1u << kCount) - 1) & ~((1u << kParent) | (1u << kCriteria) | (1u << kRules) | (1u << kDescription));

    PlaylistRecord r;
    decodeFields(value, path, table, required, [&](std::size_t i, od::value& v, const Path& at) {
        switch (i) {
        case kId: r.id = readUuid(v, at); break;
        case kName: r.name = readString(v, at); break;
        case kParent: readOptional(v, r.parentFolderID, [&] { return readUuid(v, at); }); break;
        case kFolder: r.isFolder = readBool(v, at); break;
        case kSmart: r.isSmart = readBool(v, at); break;
        case kCriteria: readOptional(v, r.smartCriteria, [&] { return readString(v, at); }); break;
        case kRules:
            if (!isNull(v))
                r.smartRules = decodeRules(v, at);
            break;
        case kFavorite: r.isFavorite = readBool(v, at); break;
        case kDescription: readOptional(v, r.description, [&] { return readString(v, at); }); break;
        case kTags: r.tags = readStringArray(v, at); break;
        case kTracks: r.trackIDs = readUuidArray<od::value, QList<QUuid>>(v, at); break;
        case kOrder: r.displayOrderIndex = readInteger(v, at); break;
        }
    });
    return r;
}

} // namespace

std::vector<PlaylistRecord> decodePlaylistRecords(const fileio::FileBytes& bytes, std::string_view fileName)
{
    refuseOversizedStateFile(bytes, fileName);
    return decodeArray<PlaylistRecord>(bytes, fileName, [](od::value& v, const Path& at) { return decodePlaylistRecord(v, at); });
}

} // namespace varno::json
