#pragma once

#include "platform/Error.h"
#include "platform/FileIO.h"
#include "storage/FileURL.h"
#include "storage/FunctionRef.h"
#include "storage/Timestamp.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
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
//
// The parser's own header is large and every file that includes it pays for
// it, so it stays behind storage's own files: the codecs of the state files
// read through the templates of storage/JsonReader.h, and everything else
// through the small reading functions below, which hand each value to a
// callback instead of exposing the parser's types.
namespace varno::json {

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

namespace detail {
// The parser's position at one value; defined in storage/JsonReader.h.
struct Cursor;
} // namespace detail

// One value of a document being read: a view of the parser's position, valid
// only inside the callback that received it (or, for a document's root, while
// the document lives). The parser reads forward only: once a later value has
// been read, an earlier one cannot be read again.
class Value {
public:
    explicit Value(detail::Cursor& cursor)
        : m_cursor(&cursor)
    {
    }
    detail::Cursor& cursor() const { return *m_cursor; }

private:
    detail::Cursor* m_cursor;
};

// Parses one JSON text with the calling thread's reusable parser (a fresh
// parser per file costs a large allocation each time). The document refers to
// the thread's parser, so only one Document per thread may be alive at a
// time, and to `fileName`, which must outlive it. A leading UTF-8 byte-order
// mark is skipped.
class Document {
public:
    // Reads `bytes` in place: they carry the padding the parser reads past
    // their end, and must outlive the document.
    Document(const fileio::FileBytes& bytes, std::string_view fileName);
    // Reads a copy of `text` with that padding added.
    Document(QByteArrayView text, std::string_view fileName);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    Value root();
    const Path& path() const { return m_path; }
    // Starts over on `bytes`, for reading a document a second time.
    void restart(const fileio::FileBytes& bytes);

    // Throws unless everything after the top-level value is white space.
    void expectEnd();

private:
    // Holds the parser's document, which only storage's own files can see.
    struct State;
    std::unique_ptr<State> m_state;
    Path m_path;
};

// Each read throws DecodingError naming `path` when the value is not of the
// type asked for or the JSON is broken there.
bool readBool(Value value, const Path& path);
double readDouble(Value value, const Path& path);
// Integers written by other encoders as 3.0 are accepted when exact.
std::int64_t readInteger(Value value, const Path& path);
QString readString(Value value, const Path& path);
// The string's UTF-8 text, valid until the next escaped string is read.
std::string_view readRawString(Value value, const Path& path);
QUuid readUuid(Value value, const Path& path);

// The number, or nothing when the value is not a number a double can hold (a
// string, or a number such as 1e400). Reads nothing else and never throws, so
// the value can still be read another way.
std::optional<double> tryReadDouble(Value value);
// The value's text as it stands in the document, up to the next structural
// character (so a number may carry white space after it).
std::string_view rawToken(Value value);

using FieldVisitor = FunctionRef<void(std::string_view key, Value value, const Path& keyPath)>;
using ItemVisitor = FunctionRef<void(std::int64_t index, Value value, const Path& itemPath)>;

// Calls `visit(key, value, keyPath)` for each member, in file order.
void forEachField(Value value, const Path& path, FieldVisitor visit);
// Calls `visit(index, value, itemPath)` for each element.
void forEachItem(Value value, const Path& path, ItemVisitor visit);

// Decodes the members of an object whose keys are in `table`: calls
// `visit(index, value, keyPath)` for each, skips unknown keys, then fails with
// the first key of `required` (bit i for the table's key i) that never came.
template<std::size_t N>
void decodeFields(Value value, const Path& path, const KeyTable<N>& table, std::uint32_t required,
                  FunctionRef<void(std::size_t index, Value value, const Path& keyPath)> visit)
{
    std::uint32_t seen = 0;
    std::size_t hint = 0;
    forEachField(value, path, [&](std::string_view key, Value v, const Path& at) {
        const std::size_t i = table.find(key, hint);
        if (i == N)
            return;
        hint = i + 1;
        seen |= 1u << i;
        visit(i, v, at);
    });
    requireKeys(seen, required, table, path);
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
};

template<>
struct Codec<std::int64_t> {
    static void encode(Writer& w, std::int64_t v) { w.integer(v); }
};

template<>
struct Codec<int> {
    static void encode(Writer& w, int v) { w.integer(v); }
};

template<>
struct Codec<double> {
    static void encode(Writer& w, double v) { w.number(v); }
};

template<>
struct Codec<QString> {
    static void encode(Writer& w, const QString& v) { w.string(QStringView(v)); }
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
};

template<typename T>
std::string encodeValue(const T& value)
{
    std::string out;
    Writer writer(out);
    Codec<T>::encode(writer, value);
    return out;
}

// Decodes one JSON text holding a single value of type T, one of the types
// with a Codec above (each is compiled once, in Json.cpp). An int out of its
// range is "number out of range". Throws DecodingError.
template<typename T>
T decodeValue(const QByteArray& text, std::string_view name);

extern template bool decodeValue<bool>(const QByteArray&, std::string_view);
extern template std::int64_t decodeValue<std::int64_t>(const QByteArray&, std::string_view);
extern template int decodeValue<int>(const QByteArray&, std::string_view);
extern template double decodeValue<double>(const QByteArray&, std::string_view);
extern template QString decodeValue<QString>(const QByteArray&, std::string_view);
extern template QStringList decodeValue<QStringList>(const QByteArray&, std::string_view);

} // namespace varno::json
