#include "TrackTableColumnConfiguration.h"

#include "storage/Json.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace varno {

namespace {

constexpr std::string_view kStoredName = "trackTable.columnLayout.v1";

// A number too large for a double (1e400) is a width that is not finite,
// which clamping repairs like any other; simdjson refuses such numbers, so
// they are recognised here rather than failing the whole layout.
double readWidth(json::Value value, const json::Path& path)
{
    if (const std::optional<double> width = json::tryReadDouble(value))
        return *width;
    std::string_view token = json::rawToken(value);
    while (!token.empty() && std::isspace(static_cast<unsigned char>(token.back())))
        token.remove_suffix(1);
    double parsed = 0;
    const auto [end, status] = std::from_chars(token.data(), token.data() + token.size(), parsed);
    if (status == std::errc::result_out_of_range && end == token.data() + token.size())
        return std::numeric_limits<double>::infinity();
    return json::readDouble(value, path);
}

TrackTableColumnConfiguration decodeColumn(json::Value value, const json::Path& path)
{
    enum : std::size_t { kId, kWidth, kExpandedWidth, kIsCollapsed };
    static constexpr std::string_view names[] = {"id", "width", "expandedWidth", "isCollapsed"};
    static const json::KeyTable table(names);
    TrackTableColumnConfiguration column;
    json::decodeFields(value, path, table, 0b1111, [&](std::size_t i, json::Value v, const json::Path& at) {
        switch (i) {
        case kId: {
            const std::string_view raw = json::readRawString(v, at);
            const auto id = trackTableColumnFromRawValue(raw);
            if (!id)
                at.fail("unknown column \"" + std::string(raw) + "\"");
            column.id = *id;
            break;
        }
        case kWidth: column.width = readWidth(v, at); break;
        case kExpandedWidth: column.expandedWidth = readWidth(v, at); break;
        case kIsCollapsed: column.isCollapsed = json::readBool(v, at); break;
        }
    });
    return column;
}

} // namespace

TrackTableColumnConfiguration TrackTableColumnConfiguration::defaultFor(TrackTableColumnID id)
{
    const double width = traitsOf(id).defaultWidth;
    return {id, width, width, false};
}

TrackTableColumns defaultTrackTableColumns()
{
    TrackTableColumns columns;
    for (TrackTableColumnID id : kDefaultTrackTableColumns)
        columns.append(TrackTableColumnConfiguration::defaultFor(id));
    return columns;
}

double clampedWidth(double width, TrackTableColumnID id)
{
    const TrackTableColumnTraits& traits = traitsOf(id);
    if (!std::isfinite(width))
        width = traits.defaultWidth;
    return std::clamp(width, traits.minimumWidth, traits.maximumWidth);
}

TrackTableColumns normalizedColumns(const TrackTableColumns& columns)
{
    TrackTableColumns result;
    result.reserve(std::min<qsizetype>(columns.size(), static_cast<qsizetype>(kAllTrackTableColumns.size())));
    std::bitset<kAllTrackTableColumns.size()> seen;
    for (TrackTableColumnConfiguration column : columns) {
        const auto position = static_cast<std::size_t>(canonicalPosition(column.id));
        if (seen.test(position))
            continue;
        seen.set(position);
        column.expandedWidth = clampedWidth(column.expandedWidth, column.id);
        column.width = column.isCollapsed ? kCollapsedColumnWidth : clampedWidth(column.width, column.id);
        result.append(column);
    }
    return result;
}

QByteArray encodeTrackTableColumns(const TrackTableColumns& columns)
{
    std::string out;
    json::Writer writer(out);
    writer.beginArray();
    for (const TrackTableColumnConfiguration& column : columns) {
        writer.beginObject();
        writer.key("id").string(traitsOf(column.id).rawValue);
        writer.key("width").number(column.width);
        writer.key("expandedWidth").number(column.expandedWidth);
        writer.key("isCollapsed").boolean(column.isCollapsed);
        writer.endObject();
    }
    writer.endArray();
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

TrackTableColumns decodeTrackTableColumns(const QByteArray& stored)
{
    json::Document document(QByteArrayView(stored), kStoredName);
    TrackTableColumns columns;
    json::forEachItem(document.root(), document.path(), [&](std::int64_t, json::Value item, const json::Path& at) {
        columns.append(decodeColumn(item, at));
    });
    document.expectEnd();
    return columns;
}

} // namespace varno
