#include "Json.h"

#include "storage/JsonLimits.h"
#include "storage/JsonReader.h"

#include <charconv>
#include <cstring>
#include <cmath>
#include <limits>

namespace varno::json {

EncodingError::EncodingError(const QString& detail)
    : Error(QStringLiteral("The data could not be written as JSON: ") + detail)
{
}

DecodingError::DecodingError(const QString& description)
    : Error(description)
{
}

// ---------------------------------------------------------------------------
// Path

QString Path::render() const
{
    std::vector<const Path*> chain;
    for (const Path* p = this; p; p = p->m_parent)
        chain.push_back(p);
    QString text;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const Path& p = **it;
        if (!p.m_parent) {
            text += QString::fromUtf8(p.m_fileName.data(), static_cast<qsizetype>(p.m_fileName.size()));
            continue;
        }
        text += QStringLiteral(": ");
        if (p.m_isKey)
            text += QStringLiteral("key \"") + QString::fromUtf8(p.m_key.data(), static_cast<qsizetype>(p.m_key.size())) + QLatin1Char('"');
        else
            text += QStringLiteral("item ") + QString::number(p.m_index);
    }
    return text;
}

void Path::fail(std::string_view detail) const
{
    throw DecodingError(render() + QStringLiteral(": ") + QString::fromUtf8(detail.data(), static_cast<qsizetype>(detail.size())));
}

void failSyntax(const Path& path, simdjson::error_code error)
{
    std::string detail = "invalid JSON (";
    detail += simdjson::error_message(error);
    detail += ")";
    path.fail(detail);
}

// ---------------------------------------------------------------------------
// Writer

namespace {

constexpr char kHex[] = "0123456789abcdef";

void appendEscapedAscii(std::string& out, char16_t c)
{
    switch (c) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\b':
        out += "\\b";
        return;
    case '\f':
        out += "\\f";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        if (c < 0x20) {
            out += "\\u00";
            out += kHex[(c >> 4) & 0xF];
            out += kHex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

void Writer::beforeValue()
{
    if (m_needsComma)
        m_out += ',';
    m_needsComma = true;
}

void Writer::beginArray()
{
    beforeValue();
    m_out += '[';
    m_needsComma = false;
}

void Writer::endArray()
{
    m_out += ']';
    m_needsComma = true;
}

void Writer::beginObject()
{
    beforeValue();
    m_out += '{';
    m_needsComma = false;
}

void Writer::endObject()
{
    m_out += '}';
    m_needsComma = true;
}

Writer& Writer::key(std::string_view name)
{
    if (m_needsComma)
        m_out += ',';
    m_out += '"';
    m_out += name;
    m_out += "\":";
    m_needsComma = false;
    m_lastKey = name;
    return *this;
}

void Writer::string(QStringView text)
{
    beforeValue();
    m_out += '"';
    const char16_t* p = text.utf16();
    const char16_t* end = p + text.size();
    while (p < end) {
        // Runs of plain ASCII, the common case, are copied in one go.
        const char16_t* run = p;
        while (run < end && *run >= 0x20 && *run < 0x80 && *run != '"' && *run != '\\')
            ++run;
        if (run != p) {
            const std::size_t start = m_out.size();
            m_out.resize(start + static_cast<std::size_t>(run - p));
            char* out = m_out.data() + start;
            for (; p < run; ++p)
                *out++ = static_cast<char>(*p);
            if (p == end)
                break;
        }
        const char16_t c = *p++;
        if (c < 0x80) {
            if (c >= 0x20 && c != '"' && c != '\\')
                m_out += static_cast<char>(c);
            else
                appendEscapedAscii(m_out, c);
        } else if (QChar::isHighSurrogate(c) && p < end && QChar::isLowSurrogate(*p)) {
            appendUtf8(m_out, QChar::surrogateToUcs4(c, *p++));
        } else if (QChar::isSurrogate(c)) {
            // A lone surrogate has no UTF-8 form; write the replacement
            // character as QString::toUtf8 would.
            appendUtf8(m_out, 0xFFFD);
        } else {
            appendUtf8(m_out, c);
        }
    }
    m_out += '"';
}

void Writer::string(std::string_view utf8)
{
    beforeValue();
    m_out += '"';
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && c != '"' && c != '\\')
            m_out += c;
        else
            appendEscapedAscii(m_out, byte);
    }
    m_out += '"';
}

void Writer::integer(std::int64_t value)
{
    beforeValue();
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    m_out.append(buffer, result.ptr);
}

namespace {

template<typename F>
void appendNumber(std::string& out, F value, std::string_view key)
{
    if (!std::isfinite(value)) {
        QString detail = std::isnan(value) ? QStringLiteral("NaN") : (value > 0 ? QStringLiteral("infinity") : QStringLiteral("-infinity"));
        detail += QStringLiteral(" is not a valid JSON number");
        if (!key.empty())
            detail += QStringLiteral(" (key \"%1\")").arg(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())));
        throw EncodingError(detail);
    }
    char buffer[32];
    // Shortest text that reads back as the same value, as other encoders of
    // these files write it; -0.0 keeps its sign.
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

} // namespace

void Writer::number(double value)
{
    // Checked before the separator so a failed write leaves no stray comma.
    if (!std::isfinite(value))
        appendNumber(m_out, value, m_lastKey);
    beforeValue();
    appendNumber(m_out, value, m_lastKey);
}

void Writer::number(float value)
{
    if (!std::isfinite(value))
        appendNumber(m_out, value, m_lastKey);
    beforeValue();
    appendNumber(m_out, value, m_lastKey);
}

void Writer::boolean(bool value)
{
    beforeValue();
    m_out += value ? "true" : "false";
}

void Writer::null()
{
    beforeValue();
    m_out += "null";
}

void Writer::uuid(const QUuid& value)
{
    beforeValue();
    const QByteArray text = value.toByteArray(QUuid::WithoutBraces).toUpper();
    m_out += '"';
    m_out.append(text.constData(), static_cast<std::size_t>(text.size()));
    m_out += '"';
}

void Writer::timestamp(Timestamp value)
{
    number(value.secondsSinceReferenceDate);
}

void Writer::bytes(const QByteArray& value)
{
    beforeValue();
    const QByteArray text = value.toBase64();
    m_out += '"';
    m_out.append(text.constData(), static_cast<std::size_t>(text.size()));
    m_out += '"';
}

void Writer::url(const FileURL& value)
{
    const QByteArray& text = value.encoded();
    string(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

void Writer::url(const QUrl& value)
{
    // FullyEncoded percent-escapes everything outside the URL grammar: spaces,
    // '#', '%', '?' and non-ASCII letters of a file name all survive.
    const QByteArray text = value.toEncoded(QUrl::FullyEncoded);
    string(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

// ---------------------------------------------------------------------------
// Reading

namespace {

od::parser& threadParser()
{
    thread_local od::parser parser;
    return parser;
}

// Some editors start UTF-8 files with a byte-order mark, which simdjson
// would take for content. Stepping over it moves only the start, so the
// padding the parser needs past the end stays where it is. Nesting is
// checked first, before the parser allocates for the document.
simdjson::simdjson_result<od::document> iterate(const char* data, std::size_t size, std::size_t capacity, const Path& path)
{
    if (!nestsWithin(data, size, kMaximumNesting))
        path.fail("nested more than " + std::to_string(kMaximumNesting) + " levels deep, deeper than the app ever writes");
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (std::string_view(data, size).starts_with(kByteOrderMark)) {
        data += kByteOrderMark.size();
        size -= kByteOrderMark.size();
        capacity -= kByteOrderMark.size();
    }
    return threadParser().iterate(data, size, capacity);
}

} // namespace

struct Document::State {
    od::document document;
    detail::Cursor root {nullptr, &document};
    // The padded copy of a text handed over without padding.
    std::string text;
};

Document::Document(const fileio::FileBytes& bytes, std::string_view fileName)
    : m_state(std::make_unique<State>())
    , m_path(fileName)
{
    if (auto error = iterate(bytes.data(), bytes.size(), bytes.capacity(), m_path).get(m_state->document))
        failSyntax(m_path, error);
}

Document::Document(QByteArrayView text, std::string_view fileName)
    : m_state(std::make_unique<State>())
    , m_path(fileName)
{
    std::string& padded = m_state->text;
    padded.reserve(static_cast<std::size_t>(text.size()) + simdjson::SIMDJSON_PADDING);
    padded.assign(text.data(), static_cast<std::size_t>(text.size()));
    if (auto error = iterate(padded.data(), padded.size(), padded.capacity(), m_path).get(m_state->document))
        failSyntax(m_path, error);
}

Document::~Document() = default;

Value Document::root()
{
    return Value(m_state->root);
}

void Document::restart(const fileio::FileBytes& bytes)
{
    if (auto error = iterate(bytes.data(), bytes.size(), bytes.capacity(), m_path).get(m_state->document))
        failSyntax(m_path, error);
}

void Document::expectEnd()
{
    const char* location = nullptr;
    const auto error = m_state->document.current_location().get(location);
    if (error == simdjson::OUT_OF_BOUNDS)
        return;
    if (error)
        failSyntax(m_path, error);
    m_path.fail("unexpected content after the JSON value");
}

std::int64_t integerFromDouble(double value, const Path& path)
{
    // 2^63 is exactly representable; anything at or above it overflows.
    if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0) || std::trunc(value) != value)
        path.fail("expected an integer");
    return static_cast<std::int64_t>(value);
}

QUuid parseUuid(std::string_view text, const Path& path)
{
    if (text.size() != 36)
        path.fail("expected a UUID");
    const QUuid uuid = QUuid::fromString(QLatin1StringView(text.data(), static_cast<qsizetype>(text.size())));
    if (uuid.isNull() && text != "00000000-0000-0000-0000-000000000000")
        path.fail("expected a UUID");
    return uuid;
}

QByteArray parseBase64(std::string_view text, const Path& path)
{
    auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        path.fail("expected Base64 data");
    return std::move(decoded.decoded);
}

FileURL parseFileURL(std::string_view text, const Path& path)
{
    std::optional<FileURL> url = FileURL::fromEncoded(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (!url)
        path.fail("expected an absolute URL");
    return std::move(*url);
}

namespace {

bool readHex4(const char* p, char32_t& value)
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = p[i];
        value <<= 4;
        if (c >= '0' && c <= '9')
            value |= static_cast<char32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            value |= static_cast<char32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            value |= static_cast<char32_t>(c - 'A' + 10);
        else
            return false;
    }
    return true;
}

// Unescapes the string from `p` up to its closing quote into `out`; false
// when an escape is malformed.
bool unescapeString(const char* p, std::string& out)
{
    out.clear();
    while (*p != '"') {
        if (*p != '\\') {
            out += *p++;
            continue;
        }
        ++p;
        switch (*p++) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
            char32_t c = 0;
            if (!readHex4(p, c))
                return false;
            p += 4;
            if (c >= 0xD800 && c < 0xDC00) {
                char32_t low = 0;
                if (p[0] != '\\' || p[1] != 'u' || !readHex4(p + 2, low) || low < 0xDC00 || low >= 0xE000)
                    return false;
                p += 6;
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            } else if (c >= 0xDC00 && c < 0xE000) {
                return false;
            }
            appendUtf8(out, c);
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

} // namespace

std::string_view stringTextAt(const char* start, TextScratch scratch, const Path& path)
{
    // The parser has checked that every string is closed and is valid UTF-8,
    // so the closing quote is there: the first quote not escaped. A string
    // without a backslash ends at the first quote.
    const char* quote = static_cast<const char*>(::rawmemchr(start, '"'));
    if (!std::memchr(start, '\\', static_cast<std::size_t>(quote - start)))
        return std::string_view(start, static_cast<std::size_t>(quote - start));
    thread_local std::string keyText;
    thread_local std::string valueText;
    std::string& out = scratch == TextScratch::Key ? keyText : valueText;
    if (!unescapeString(start, out))
        failSyntax(path, simdjson::STRING_ERROR);
    return out;
}

QString stringFromUtf8(std::string_view text)
{
    // Most tags are plain ASCII; Latin-1 conversion of those allocates the
    // exact size once, where the UTF-8 decoder allocates for the worst case
    // and shrinks afterwards.
    const char* p = text.data();
    const char* end = p + text.size();
    std::uint64_t high = 0;
    for (; p + 8 <= end; p += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        high |= word;
    }
    for (; p < end; ++p)
        high |= static_cast<unsigned char>(*p);
    if ((high & 0x8080808080808080ull) == 0)
        return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// ---------------------------------------------------------------------------
// Reading through json::Value

namespace {

// Runs `read` on the parser's value or document behind `value`.
template<typename Read>
decltype(auto) onCursor(Value value, Read&& read)
{
    detail::Cursor& cursor = value.cursor();
    if (cursor.value)
        return read(*cursor.value);
    return read(*cursor.document);
}

} // namespace

bool readBool(Value value, const Path& path)
{
    return onCursor(value, [&](auto& v) { return readBool(v, path); });
}

double readDouble(Value value, const Path& path)
{
    return onCursor(value, [&](auto& v) { return readDouble(v, path); });
}

std::int64_t readInteger(Value value, const Path& path)
{
    return onCursor(value, [&](auto& v) { return readInteger(v, path); });
}

QString readString(Value value, const Path& path)
{
    return onCursor(value, [&](auto& v) { return readString(v, path); });
}

std::string_view readRawString(Value value, const Path& path)
{
    return onCursor(value, [&](auto& v) { return readRawString(v, path); });
}

QUuid readUuid(Value value, const Path& path)
{
    return onCursor(value, [&](auto& v) { return readUuid(v, path); });
}

std::optional<double> tryReadDouble(Value value)
{
    return onCursor(value, [](auto& v) -> std::optional<double> {
        double result = 0;
        if (v.get_double().get(result))
            return std::nullopt;
        return result;
    });
}

std::string_view rawToken(Value value)
{
    detail::Cursor& cursor = value.cursor();
    if (cursor.value)
        return cursor.value->raw_json_token();
    std::string_view token;
    if (cursor.document->raw_json_token().get(token))
        return {};
    return token;
}

void forEachField(Value value, const Path& path, FieldVisitor visit)
{
    onCursor(value, [&](auto& v) {
        forEachField(v, path, [&](std::string_view key, od::value& field, const Path& at) {
            detail::Cursor cursor {&field, nullptr};
            visit(key, Value(cursor), at);
        });
    });
}

void forEachItem(Value value, const Path& path, ItemVisitor visit)
{
    onCursor(value, [&](auto& v) {
        forEachItem(v, path, [&](std::int64_t index, od::value& item, const Path& at) {
            detail::Cursor cursor {&item, nullptr};
            visit(index, Value(cursor), at);
        });
    });
}

// ---------------------------------------------------------------------------
// Single values

namespace {

template<typename T>
T readSingle(od::document& document, const Path& path);

template<>
bool readSingle<bool>(od::document& document, const Path& path)
{
    return readBool(document, path);
}

template<>
std::int64_t readSingle<std::int64_t>(od::document& document, const Path& path)
{
    return readInteger(document, path);
}

template<>
int readSingle<int>(od::document& document, const Path& path)
{
    const std::int64_t wide = readInteger(document, path);
    if (wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max())
        path.fail("number out of range");
    return static_cast<int>(wide);
}

template<>
double readSingle<double>(od::document& document, const Path& path)
{
    return readDouble(document, path);
}

template<>
QString readSingle<QString>(od::document& document, const Path& path)
{
    return readString(document, path);
}

template<>
QStringList readSingle<QStringList>(od::document& document, const Path& path)
{
    return readStringArray(document, path);
}

} // namespace

template<typename T>
T decodeValue(const QByteArray& text, std::string_view name)
{
    Document document(QByteArrayView(text), name);
    T value = readSingle<T>(onDemandRoot(document), document.path());
    document.expectEnd();
    return value;
}

template bool decodeValue<bool>(const QByteArray&, std::string_view);
template std::int64_t decodeValue<std::int64_t>(const QByteArray&, std::string_view);
template int decodeValue<int>(const QByteArray&, std::string_view);
template double decodeValue<double>(const QByteArray&, std::string_view);
template QString decodeValue<QString>(const QByteArray&, std::string_view);
template QStringList decodeValue<QStringList>(const QByteArray&, std::string_view);

} // namespace varno::json
