#pragma once

// Storage's own view of the parser: the templates the state files' codecs
// read with, inlined into each decoder so a large tracks file is read without
// a call or a callback per value. Include it from storage's .cpp files only;
// every other file reads through the functions of storage/Json.h, so that the
// parser's header is compiled a handful of times rather than everywhere.

#include "storage/Json.h"

#include <simdjson.h>

#include <concepts>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace varno::json {

namespace od = simdjson::ondemand;

// What the templates below read from: a value inside a document, or a
// document's root, which simdjson keeps as a type of its own.
template<typename V>
concept OnDemand = std::same_as<V, od::value> || std::same_as<V, od::document>;

namespace detail {

// Behind a json::Value: exactly one of the two is set.
struct Cursor {
    od::value* value = nullptr;
    od::document* document = nullptr;
};

} // namespace detail

// The parser's document behind `document`, whose root it is.
inline od::document& onDemandRoot(Document& document)
{
    return *document.root().cursor().document;
}

[[noreturn]] void failSyntax(const Path& path, simdjson::error_code error);
QString stringFromUtf8(std::string_view text);

template<OnDemand V>
bool isNull(V& value)
{
    bool null = false;
    if (value.is_null().get(null))
        return false;
    return null;
}

// Which scratch buffer an escaped string is unescaped into.
enum class TextScratch { Key, Value };

// The text of the JSON string whose opening quote precedes `start`: a view
// of the document itself when the string has no escapes (nearly always), else
// the unescaped text in the calling thread's scratch buffer, valid until the
// next escaped string of the same kind. Reading strings in place keeps the
// parser from copying every string of a large file into its own buffer.
std::string_view stringTextAt(const char* start, TextScratch scratch, const Path& path);

template<OnDemand V>
std::string_view readRawString(V& value, const Path& path)
{
    od::raw_json_string raw;
    if (auto error = value.get_raw_json_string().get(raw)) {
        if (error == simdjson::INCORRECT_TYPE)
            path.fail("expected a string");
        failSyntax(path, error);
    }
    return stringTextAt(raw.raw(), TextScratch::Value, path);
}

template<OnDemand V>
QString readString(V& value, const Path& path)
{
    return stringFromUtf8(readRawString(value, path));
}

template<OnDemand V>
bool readBool(V& value, const Path& path)
{
    bool result = false;
    if (auto error = value.get_bool().get(result)) {
        if (error == simdjson::INCORRECT_TYPE)
            path.fail("expected a boolean");
        failSyntax(path, error);
    }
    return result;
}

template<OnDemand V>
double readDouble(V& value, const Path& path)
{
    double result = 0;
    if (auto error = value.get_double().get(result)) {
        if (error == simdjson::INCORRECT_TYPE || error == simdjson::NUMBER_ERROR)
            path.fail("expected a number");
        failSyntax(path, error);
    }
    return result;
}

std::int64_t integerFromDouble(double value, const Path& path);

// Integers written by other encoders as 3.0 are accepted when exact.
template<OnDemand V>
std::int64_t readInteger(V& value, const Path& path)
{
    std::int64_t result = 0;
    const auto error = value.get_int64().get(result);
    if (!error)
        return result;
    if (error != simdjson::INCORRECT_TYPE && error != simdjson::NUMBER_ERROR && error != simdjson::NUMBER_OUT_OF_RANGE)
        failSyntax(path, error);
    return integerFromDouble(readDouble(value, path), path);
}

QUuid parseUuid(std::string_view text, const Path& path);
QByteArray parseBase64(std::string_view text, const Path& path);
FileURL parseFileURL(std::string_view text, const Path& path);

template<OnDemand V>
QUuid readUuid(V& value, const Path& path)
{
    return parseUuid(readRawString(value, path), path);
}

template<OnDemand V>
Timestamp readTimestamp(V& value, const Path& path)
{
    return Timestamp::fromSecondsSinceReferenceDate(readDouble(value, path));
}

template<OnDemand V>
QByteArray readBytes(V& value, const Path& path)
{
    return parseBase64(readRawString(value, path), path);
}

template<OnDemand V>
FileURL readFileURL(V& value, const Path& path)
{
    return parseFileURL(readRawString(value, path), path);
}

template<OnDemand V>
od::object readObject(V& value, const Path& path)
{
    od::object object;
    if (auto error = value.get_object().get(object)) {
        if (error == simdjson::INCORRECT_TYPE)
            path.fail("expected an object");
        failSyntax(path, error);
    }
    return object;
}

template<OnDemand V>
od::array readArray(V& value, const Path& path)
{
    od::array array;
    if (auto error = value.get_array().get(array)) {
        if (error == simdjson::INCORRECT_TYPE)
            path.fail("expected an array");
        failSyntax(path, error);
    }
    return array;
}

// Calls `visit(index, value, itemPath)` for each element.
template<OnDemand V, typename Visit>
void forEachItem(V& value, const Path& path, Visit&& visit)
{
    od::array array = readArray(value, path);
    std::int64_t index = 0;
    for (auto element : array) {
        od::value item;
        const Path itemPath = path.item(index);
        if (auto error = std::move(element).get(item))
            failSyntax(itemPath, error);
        visit(index, item, itemPath);
        ++index;
    }
}

// Calls `visit(key, value, keyPath)` for each member, in file order.
template<OnDemand V, typename Visit>
void forEachField(V& value, const Path& path, Visit&& visit)
{
    od::object object = readObject(value, path);
    for (auto member : object) {
        od::field field;
        if (auto error = std::move(member).get(field))
            failSyntax(path, error);
        const std::string_view key = stringTextAt(field.key().raw(), TextScratch::Key, path);
        od::value fieldValue = field.value();
        visit(key, fieldValue, path.key(key));
    }
}

template<OnDemand V, typename Ids = std::vector<QUuid>>
Ids readUuidArray(V& value, const Path& path)
{
    Ids result;
    forEachItem(value, path, [&](std::int64_t, od::value& item, const Path& itemPath) {
        result.push_back(readUuid(item, itemPath));
    });
    return result;
}

template<OnDemand V>
QStringList readStringArray(V& value, const Path& path)
{
    QStringList result;
    forEachItem(value, path, [&](std::int64_t, od::value& item, const Path& itemPath) {
        result.push_back(readString(item, itemPath));
    });
    return result;
}

// Decodes the members of an object whose keys are in `table`: calls
// `visit(index, value, keyPath)` for each, skips unknown keys, then fails with
// the first key of `required` (bit i for the table's key i) that never came.
template<std::size_t N, OnDemand V, typename Visit>
void decodeFields(V& value, const Path& path, const KeyTable<N>& table, std::uint32_t required, Visit&& visit)
{
    std::uint32_t seen = 0;
    std::size_t hint = 0;
    forEachField(value, path, [&](std::string_view key, od::value& v, const Path& at) {
        const std::size_t i = table.find(key, hint);
        if (i == N)
            return;
        hint = i + 1;
        seen |= 1u << i;
        visit(i, v, at);
    });
    requireKeys(seen, required, table, path);
}

// Reads an optional member: null counts as absent.
template<typename T, typename Read>
void readOptional(od::value& value, std::optional<T>& out, Read&& read)
{
    if (isNull(value))
        out.reset();
    else
        out = read();
}

// Reads a whole file of one JSON array: `reserve(count)` once the elements
// are counted, then `decodeItem(value, itemPath)` for each. Absent or 0-byte
// files have no elements.
template<typename Reserve, typename DecodeItem>
void decodeArrayItems(const fileio::FileBytes& bytes, std::string_view fileName, Reserve&& reserve, DecodeItem&& decodeItem)
{
    if (bytes.isEmpty())
        return;
    Document document(bytes, fileName);
    // Counting first is a fast scan over the parsed structure; growing the
    // list instead would move every record several times.
    std::size_t count = 0;
    if (!onDemandRoot(document).count_elements().get(count)) {
        reserve(count);
        onDemandRoot(document).rewind();
    } else {
        // A broken document leaves the iterator unusable; parse it again so
        // the element loop reports where it breaks.
        document.restart(bytes);
    }
    forEachItem(onDemandRoot(document), document.path(), [&](std::int64_t, od::value& item, const Path& itemPath) { decodeItem(item, itemPath); });
    document.expectEnd();
}

template<typename T, typename DecodeItem>
std::vector<T> decodeArray(const fileio::FileBytes& bytes, std::string_view fileName, DecodeItem&& decodeItem)
{
    std::vector<T> result;
    decodeArrayItems(bytes, fileName, [&](std::size_t count) { result.reserve(count); },
                     [&](od::value& item, const Path& itemPath) { result.push_back(decodeItem(item, itemPath)); });
    return result;
}

} // namespace varno::json
