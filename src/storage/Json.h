#pragma once

#include "platform/Error.h"
#include "platform/FileIO.h"
#include "storage/FileURL.h"
#include "storage/Timestamp.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <simdjson.h>

#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The one JSON layer behind every state file. Writing is compact with keys in
// the order the caller emits them (QJsonObject would sort them); reading goes
// through simdjson's On-Demand parser and accepts any valid JSON, keys in any
// order, unknown keys ignored. Value conventions: UUIDs upper-case and
// hyphenated, timestamps as seconds since 2001-01-01, bytes as Base64, file
// URLs as absolute percent-escaped URL text.
namespace varno::json {

namespace od = simdjson::ondemand;

// Thrown when a value cannot be written as JSON (NaN or an infinity).
class EncodingError final : public Error {
public:
    explicit EncodingError(const QString& detail);
};

// Thrown when stored JSON does not have the expected shape. The description
// names the file, the item and the key, for example:
//   tracks.json: item 17: key "title": expected a string
class DecodingError final : public Error {
public:
    explicit DecodingError(const QString& description);
};

// Where the decoder is, for error messages. Lives on the stack; each level
// points at its parent, so nothing is allocated unless an error is thrown.
class Path {
public:
    explicit Path(std::string_view fileName)
        : m_fileName(fileName)
    {
    }
    Path item(std::int64_t index) const { return Path(this, index); }
    Path key(std::string_view key) const { return Path(this, key); }

    [[noreturn]] void fail(std::string_view detail) const;
    QString render() const;

private:
    Path(const Path* parent, std::int64_t index)
        : m_parent(parent)
        , m_index(index)
    {
    }
    Path(const Path* parent, std::string_view key)
        : m_parent(parent)
        , m_key(key)
        , m_isKey(true)
    {
    }

    const Path* m_parent = nullptr;
    std::string_view m_fileName;
    std::int64_t m_index = 0;
    std::string_view m_key;
    bool m_isKey = false;
};

// ---------------------------------------------------------------------------
// Writing

class Writer {
public:
    explicit Writer(std::string& out)
        : m_out(out)
    {
    }

    void beginArray();
    void endArray();
    void beginObject();
    void endObject();

    // Starts a member. Keys are our own ASCII names and are written as given.
    Writer& key(std::string_view name);

    void string(QStringView text);
    void string(std::string_view utf8);
    void integer(std::int64_t value);
    void number(double value);
    void number(float value);
    void boolean(bool value);
    void null();

    void uuid(const QUuid& value);
    template<typename Ids>
    void uuidArray(const Ids& values)
    {
        beginArray();
        for (const QUuid& id : values)
            uuid(id);
        endArray();
    }
    void timestamp(Timestamp value);
    void bytes(const QByteArray& value);
    void url(const QUrl& value);
    void url(const FileURL& value);

private:
    void beforeValue();

    std::string& m_out;
    std::string_view m_lastKey;
    bool m_needsComma = false;
};

// ---------------------------------------------------------------------------
// Reading

// Parses one JSON text with the calling thread's reusable parser (a fresh
// parser per file costs a large allocation each time). The document refers to
// `bytes`, which must outlive it, and to the thread's parser, so only one
// Document per thread may be alive at a time. A leading UTF-8 byte-order mark
// is skipped.
class Document {
public:
    Document(const fileio::FileBytes& bytes, std::string_view fileName);
    Document(const std::string& paddedText, std::string_view fileName);

    od::document& root() { return m_document; }
    void restart(const fileio::FileBytes& bytes);
    const Path& path() const { return m_path; }

    // Throws unless everything after the top-level value is white space.
    void expectEnd();

private:
    od::document m_document;
    Path m_path;
};

[[noreturn]] void failSyntax(const Path& path, simdjson::error_code error);
QString stringFromUtf8(std::string_view text);

template<typename V>
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

template<typename V>
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

template<typename V>
QString readString(V& value, const Path& path)
{
    return stringFromUtf8(readRawString(value, path));
}

template<typename V>
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

template<typename V>
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
template<typename V>
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

template<typename V>
QUuid readUuid(V& value, const Path& path)
{
    return parseUuid(readRawString(value, path), path);
}

template<typename V>
Timestamp readTimestamp(V& value, const Path& path)
{
    return Timestamp::fromSecondsSinceReferenceDate(readDouble(value, path));
}

template<typename V>
QByteArray readBytes(V& value, const Path& path)
{
    return parseBase64(readRawString(value, path), path);
}

template<typename V>
FileURL readFileURL(V& value, const Path& path)
{
    return parseFileURL(readRawString(value, path), path);
}

template<typename V>
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

template<typename V>
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
template<typename V, typename Visit>
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
template<typename V, typename Visit>
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

template<typename V, typename Ids = std::vector<QUuid>>
Ids readUuidArray(V& value, const Path& path)
{
    Ids result;
    forEachItem(value, path, [&](std::int64_t, od::value& item, const Path& itemPath) {
        result.push_back(readUuid(item, itemPath));
    });
    return result;
}

template<typename V>
QStringList readStringArray(V& value, const Path& path)
{
    QStringList result;
    forEachItem(value, path, [&](std::int64_t, od::value& item, const Path& itemPath) {
        result.push_back(readString(item, itemPath));
    });
    return result;
}

// Tracks which required keys of an object were seen. Keys are matched against
// a fixed table; in files written by us they arrive in table order, so the
// search starts after the previous match.
template<std::size_t N>
class KeyTable {
public:
    constexpr explicit KeyTable(const std::string_view (&names)[N])
    {
        for (std::size_t i = 0; i < N; ++i)
            m_names[i] = names[i];
    }

    // Index of `key` in the table, or N when unknown.
    std::size_t find(std::string_view key, std::size_t hint) const
    {
        for (std::size_t step = 0; step < N; ++step) {
            const std::size_t i = (hint + step) % N;
            if (m_names[i] == key)
                return i;
        }
        return N;
    }
    std::string_view name(std::size_t i) const { return m_names[i]; }

private:
    std::string_view m_names[N] {};
};

// Fails with the first key of `required` that is not in `seen` (bit i stands
// for the table's key i).
template<std::size_t N>
void requireKeys(std::uint32_t seen, std::uint32_t required, const KeyTable<N>& table, const Path& path)
{
    const std::uint32_t missing = required & ~seen;
    if (missing)
        path.key(table.name(static_cast<std::size_t>(std::countr_zero(missing)))).fail("required key is missing");
}

// Decodes the members of an object whose keys are in `table`: calls
// `visit(index, value, keyPath)` for each, skips unknown keys, then fails with
// the first key of `required` (bit i for the table's key i) that never came.
template<std::size_t N, typename V, typename Visit>
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
    if (!document.root().count_elements().get(count)) {
        reserve(count);
        document.root().rewind();
    } else {
        // A broken document leaves the iterator unusable; parse it again so
        // the element loop reports where it breaks.
        document.restart(bytes);
    }
    forEachItem(document.root(), document.path(), [&](std::int64_t, od::value& item, const Path& itemPath) { decodeItem(item, itemPath); });
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

// Writes `items` as one JSON array to `path` atomically, streaming through a
// small buffer: a large library is never held twice in memory as text. An
// encoding error leaves the old file as it was. `beforeReplacing` runs once
// the new file is on disk, just before it replaces the old one.
template<typename Items, typename EncodeItem>
fileio::FileVersion writeArrayFile(const QString& path, const Items& items, EncodeItem&& encodeItem,
                                   const std::function<void()>& beforeReplacing = {})
{
    constexpr std::size_t kChunk = 1 << 20;
    fileio::AtomicFile file(path);
    std::string buffer;
    buffer.reserve(kChunk + (64 << 10));
    Writer writer(buffer);
    writer.beginArray();
    for (const auto& item : items) {
        encodeItem(writer, item);
        if (buffer.size() >= kChunk) {
            file.write(buffer);
            buffer.clear();
        }
    }
    writer.endArray();
    file.write(buffer);
    return file.commit(beforeReplacing);
}

// ---------------------------------------------------------------------------
// Single values, for typed preferences.

template<typename T>
struct Codec;

template<>
struct Codec<bool> {
    static void encode(Writer& w, bool v) { w.boolean(v); }
    template<typename V>
    static bool decode(V& v, const Path& p) { return readBool(v, p); }
};

template<>
struct Codec<std::int64_t> {
    static void encode(Writer& w, std::int64_t v) { w.integer(v); }
    template<typename V>
    static std::int64_t decode(V& v, const Path& p) { return readInteger(v, p); }
};

template<>
struct Codec<int> {
    static void encode(Writer& w, int v) { w.integer(v); }
    template<typename V>
    static int decode(V& v, const Path& p)
    {
        const std::int64_t wide = readInteger(v, p);
        if (wide < INT32_MIN || wide > INT32_MAX)
            p.fail("number out of range");
        return static_cast<int>(wide);
    }
};

template<>
struct Codec<double> {
    static void encode(Writer& w, double v) { w.number(v); }
    template<typename V>
    static double decode(V& v, const Path& p) { return readDouble(v, p); }
};

template<>
struct Codec<QString> {
    static void encode(Writer& w, const QString& v) { w.string(QStringView(v)); }
    template<typename V>
    static QString decode(V& v, const Path& p) { return readString(v, p); }
};

template<>
struct Codec<QStringList> {
    static void encode(Writer& w, const QStringList& v)
    {
        w.beginArray();
        for (const QString& s : v)
            w.string(QStringView(s));
        w.endArray();
    }
    template<typename V>
    static QStringList decode(V& v, const Path& p) { return readStringArray(v, p); }
};

template<typename T>
std::string encodeValue(const T& value)
{
    std::string out;
    Writer writer(out);
    Codec<T>::encode(writer, value);
    return out;
}

// Decodes one JSON text holding a single value of type T. Throws DecodingError.
template<typename T>
T decodeValue(const QByteArray& text, std::string_view name)
{
    std::string padded(text.constData(), static_cast<std::size_t>(text.size()));
    padded.reserve(padded.size() + simdjson::SIMDJSON_PADDING);
    Document document(padded, name);
    T value = Codec<T>::decode(document.root(), document.path());
    document.expectEnd();
    return value;
}

} // namespace varno::json
