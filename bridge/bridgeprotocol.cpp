#include "bridgeprotocol.h"

#include <algorithm>
#include <cstring>

namespace Bridge {

namespace {

/// The longest text describe() makes: a refusal or a log line stays readable.
constexpr size_t MaxDescriptionBytes = 4096;

void putU8(std::string *out, uint8_t value)
{
    out->push_back(char(value));
}

void putU32(std::string *out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(char((value >> shift) & 0xff));
}

void putU64(std::string *out, uint64_t value)
{
    putU32(out, uint32_t(value >> 32));
    putU32(out, uint32_t(value & 0xffffffffu));
}

void putBytes(std::string *out, const std::string &bytes)
{
    putU32(out, uint32_t(bytes.size()));
    out->append(bytes);
}

uint32_t readU32(const unsigned char *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

/**
 * Reads a payload's fields in order. The first field that does not fit in what is left fails
 * the reader with a message naming the field; later reads then fail too.
 */
class Reader
{
public:
    explicit Reader(const std::string &bytes) : m_bytes(bytes) {}

    bool u8(uint8_t *value, const char *field)
    {
        if (!need(1, field))
            return false;
        *value = uint8_t(m_bytes[m_at++]);
        return true;
    }
    bool u32(uint32_t *value, const char *field)
    {
        if (!need(4, field))
            return false;
        *value = readU32(reinterpret_cast<const unsigned char *>(m_bytes.data()) + m_at);
        m_at += 4;
        return true;
    }
    bool i32(int32_t *value, const char *field)
    {
        uint32_t raw = 0;
        if (!u32(&raw, field))
            return false;
        *value = int32_t(raw);
        return true;
    }
    bool u64(uint64_t *value, const char *field)
    {
        uint32_t high = 0;
        uint32_t low = 0;
        if (!u32(&high, field) || !u32(&low, field))
            return false;
        *value = uint64_t(high) << 32 | low;
        return true;
    }
    bool bytes(std::string *value, const char *field)
    {
        uint32_t size = 0;
        if (!u32(&size, field))
            return false;
        if (!need(size, field))
            return false;
        value->assign(m_bytes, m_at, size);
        m_at += size;
        return true;
    }
    /// A count of items of at least @p itemBytes each: no more than the rest can hold, so a
    /// forged count never makes the caller reserve more than the frame's size.
    bool count(uint32_t *value, size_t itemBytes, const char *field)
    {
        if (!u32(value, field))
            return false;
        if (*value > left() / itemBytes)
            return fail(std::string("count of ") + field + " (" + std::to_string(*value) +
                        ") exceeds what the frame holds");
        return true;
    }
    /// Everything left, for a field that runs to the end.
    std::string rest()
    {
        std::string value = m_bytes.substr(m_at);
        m_at = m_bytes.size();
        return value;
    }
    /// Fails when bytes are left over: every payload must be used up.
    bool end()
    {
        if (m_error.empty() && m_at != m_bytes.size())
            return fail(std::to_string(m_bytes.size() - m_at) + " bytes left over after the " +
                        "last field");
        return m_error.empty();
    }
    bool fail(const std::string &why)
    {
        if (m_error.empty())
            m_error = why;
        return false;
    }
    const std::string &error() const { return m_error; }
    size_t left() const { return m_bytes.size() - m_at; }

private:
    bool need(size_t size, const char *field)
    {
        if (!m_error.empty())
            return false;
        if (size > left())
            return fail(std::string("truncated at ") + field + " (" + std::to_string(size) +
                        " bytes needed, " + std::to_string(left()) + " left)");
        return true;
    }

    const std::string &m_bytes;
    size_t m_at = 0;
    std::string m_error;
};

bool knownFrameType(uint8_t type)
{
    return type >= uint8_t(FrameType::Hello) && type <= uint8_t(FrameType::Error);
}

const char *frameTypeName(FrameType type)
{
    switch (type) {
    case FrameType::Hello:
        return "Hello";
    case FrameType::Request:
        return "Request";
    case FrameType::Cancel:
        return "Cancel";
    case FrameType::Data:
        return "Data";
    case FrameType::End:
        return "End";
    case FrameType::Error:
        return "Error";
    }
    return "unknown";
}

/// Fails unless @p frame is of @p type; the message names what it is.
bool expectType(const Frame &frame, FrameType type, std::string *error)
{
    if (frame.type == type)
        return true;
    *error = std::string("a ") + frameTypeName(frame.type) + " frame where " + frameTypeName(type) +
             " was expected";
    return false;
}

/// Takes the reader's outcome into @p error with the frame's name before it.
bool finish(Reader &reader, const char *what, std::string *error)
{
    if (reader.end())
        return true;
    *error = std::string("malformed ") + what + ": " + reader.error();
    return false;
}

/// The first bytes of a stream, printable, for a message about a peer that speaks no frames.
std::string sample(const std::string &bytes)
{
    std::string word = quoteWord(bytes.substr(0, 16));
    if (word.front() != '"')
        word = '"' + word + '"';
    return word;
}

bool validPathKind(uint8_t kind)
{
    return kind <= uint8_t(PathKind::Other);
}

} // namespace

bool appendFrame(std::string *out, FrameType type, uint32_t id, const std::string &payload)
{
    if (payload.size() > MaxPayloadBytes)
        return false;
    putU32(out, uint32_t(payload.size() + FrameHeaderBytes - 4));
    putU8(out, uint8_t(type));
    putU32(out, id);
    out->append(payload);
    return true;
}

// --- decoder ------------------------------------------------------------------------------

size_t FrameDecoder::feed(const char *data, size_t size)
{
    if (m_status != NeedMore)
        return 0;
    size_t taken = 0;
    // The header first, byte by byte as it comes, so a bad one fails before its body.
    while (m_buffer.size() < 5 && taken < size) {
        m_buffer.push_back(data[taken++]);
        if (m_buffer.size() == 4) {
            m_length = readU32(reinterpret_cast<const unsigned char *>(m_buffer.data()));
            if (m_length > MaxFrameBytes - 4) {
                fail("a frame of " + std::to_string(uint64_t(m_length) + 4) +
                     " bytes exceeds the limit of " + std::to_string(MaxFrameBytes) + " bytes");
                return taken;
            }
            if (m_length < FrameHeaderBytes - 4) {
                fail("a frame length of " + std::to_string(m_length) +
                     " is too short for a type and an id (5 bytes)");
                return taken;
            }
        } else if (m_buffer.size() == 5 && !knownFrameType(uint8_t(m_buffer[4]))) {
            fail("unknown frame type " + std::to_string(unsigned(uint8_t(m_buffer[4]))));
            return taken;
        }
    }
    if (m_buffer.size() < 5)
        return taken;
    const size_t whole = size_t(m_length) + 4;
    const size_t wanted = std::min(whole - m_buffer.size(), size - taken);
    m_buffer.append(data + taken, wanted);
    taken += wanted;
    if (m_buffer.size() == whole) {
        const auto *bytes = reinterpret_cast<const unsigned char *>(m_buffer.data());
        m_ready.type = FrameType(bytes[4]);
        m_ready.id = readU32(bytes + 5);
        m_ready.payload.assign(m_buffer, FrameHeaderBytes, std::string::npos);
        m_buffer.clear();
        m_length = 0;
        m_status = FrameReady;
        ++m_frames;
    }
    return taken;
}

Frame FrameDecoder::takeFrame()
{
    Frame frame;
    if (m_status != FrameReady)
        return frame;
    frame = std::move(m_ready);
    m_ready = Frame();
    m_status = NeedMore;
    return frame;
}

FrameDecoder::Status FrameDecoder::endOfStream()
{
    if (m_status == NeedMore && !m_buffer.empty()) {
        const std::string whole =
            m_buffer.size() >= 4 ? std::to_string(uint64_t(m_length) + 4) : std::string("?");
        fail("the stream ended inside a frame (" + std::to_string(m_buffer.size()) + " of " +
             whole + " bytes)");
    }
    return m_status;
}

void FrameDecoder::fail(const std::string &why)
{
    m_status = Failed;
    // A peer that never spoke frames (a shell's greeting on an ssh connection, say) gets
    // named for what it is.
    if (m_frames == 0)
        m_error = "the peer does not speak the bridge protocol (it began with " + sample(m_buffer) +
                  "): " + why;
    else
        m_error = "malformed frame after " + std::to_string(m_frames) + " good ones: " + why;
    m_buffer.clear();
}

// --- handshake ----------------------------------------------------------------------------

std::string encodeHello(const Hello &hello)
{
    std::string payload;
    putBytes(&payload, HelloMagic);
    putU32(&payload, hello.version);
    putBytes(&payload, hello.software.substr(0, 1024));
    std::string frame;
    appendFrame(&frame, FrameType::Hello, 0, payload);
    return frame;
}

bool decodeHello(const Frame &frame, Hello *hello, std::string *error)
{
    if (!expectType(frame, FrameType::Hello, error))
        return false;
    Reader reader(frame.payload);
    std::string magic;
    if (reader.bytes(&magic, "magic") && magic != HelloMagic)
        reader.fail("the greeting is not \"" + std::string(HelloMagic) + "\" but " +
                    quoteWord(magic));
    reader.u32(&hello->version, "version");
    reader.bytes(&hello->software, "software");
    if (frame.id != 0)
        reader.fail("a Hello must have id 0, not " + std::to_string(frame.id));
    return finish(reader, "Hello", error);
}

std::string versionMismatch(Side ownSide, uint32_t ownVersion, uint32_t peerVersion)
{
    if (ownVersion == peerVersion)
        return std::string();
    const uint32_t console = ownSide == Side::Console ? ownVersion : peerVersion;
    const uint32_t bridge = ownSide == Side::Console ? peerVersion : ownVersion;
    return "Protocol version mismatch: the console speaks version " + std::to_string(console) +
           ", the bridge version " + std::to_string(bridge) + "; install the same release of both.";
}

// --- requests -----------------------------------------------------------------------------

bool Request::operator==(const Request &other) const
{
    return operation == other.operation && path == other.path && arguments == other.arguments &&
           change == other.change && timeLimitMs == other.timeLimitMs &&
           byteLimit == other.byteLimit && lines == other.lines && content == other.content;
}

bool encodeRequest(uint32_t id, const Request &request, std::string *frame, std::string *error)
{
    if (id == 0) {
        *error = "a request needs an id other than 0";
        return false;
    }
    std::string payload;
    putU8(&payload, uint8_t(request.operation));
    putBytes(&payload, request.path);
    switch (request.operation) {
    case Operation::Run:
        putU8(&payload, request.change ? 1 : 0);
        putU32(&payload, request.timeLimitMs);
        putU64(&payload, request.byteLimit);
        [[fallthrough]];
    case Operation::RemoveIn:
        putU32(&payload, uint32_t(request.arguments.size()));
        for (const std::string &argument : request.arguments)
            putBytes(&payload, argument);
        break;
    case Operation::ReadFile:
        putU64(&payload, request.byteLimit);
        break;
    case Operation::Tail:
        putU32(&payload, request.lines);
        putU64(&payload, request.byteLimit);
        break;
    case Operation::Write:
        putBytes(&payload, request.content);
        break;
    case Operation::List:
    case Operation::Test:
        break;
    }
    std::string encoded;
    if (!appendFrame(&encoded, FrameType::Request, id, payload)) {
        *error = "the request " + describe(request) + " takes " +
                 std::to_string(payload.size() + FrameHeaderBytes) +
                 " bytes, more than a frame holds (" + std::to_string(MaxFrameBytes) + ")";
        return false;
    }
    *frame = std::move(encoded);
    return true;
}

bool decodeRequest(const Frame &frame, Request *request, std::string *error)
{
    if (!expectType(frame, FrameType::Request, error))
        return false;
    Reader reader(frame.payload);
    Request decoded;
    uint8_t operation = 0;
    if (frame.id == 0)
        reader.fail("a request must not have id 0");
    reader.u8(&operation, "operation");
    decoded.operation = Operation(operation);
    reader.bytes(&decoded.path, "path");
    uint32_t count = 0;
    uint8_t change = 0;
    switch (decoded.operation) {
    case Operation::Run:
        reader.u8(&change, "change");
        if (change > 1)
            reader.fail("change is " + std::to_string(unsigned(change)) + ", not 0 or 1");
        decoded.change = change == 1;
        reader.u32(&decoded.timeLimitMs, "time limit");
        reader.u64(&decoded.byteLimit, "output limit");
        [[fallthrough]];
    case Operation::RemoveIn:
        if (reader.count(&count, 4, "arguments")) {
            decoded.arguments.resize(count);
            for (std::string &argument : decoded.arguments) {
                if (!reader.bytes(&argument, "argument"))
                    break;
            }
        }
        break;
    case Operation::ReadFile:
        reader.u64(&decoded.byteLimit, "byte limit");
        break;
    case Operation::Tail:
        reader.u32(&decoded.lines, "lines");
        reader.u64(&decoded.byteLimit, "byte limit");
        break;
    case Operation::Write:
        reader.bytes(&decoded.content, "content");
        break;
    case Operation::List:
    case Operation::Test:
        break;
    default:
        if (reader.error().empty())
            reader.fail("unknown operation " + std::to_string(unsigned(operation)));
        break;
    }
    if (!finish(reader, "request", error))
        return false;
    *request = std::move(decoded);
    return true;
}

std::string encodeCancel(uint32_t id)
{
    std::string frame;
    appendFrame(&frame, FrameType::Cancel, id, std::string());
    return frame;
}

bool decodeCancel(const Frame &frame, std::string *error)
{
    if (!expectType(frame, FrameType::Cancel, error))
        return false;
    Reader reader(frame.payload);
    if (frame.id == 0)
        reader.fail("a Cancel must name a request, not id 0");
    return finish(reader, "Cancel", error);
}

const char *operationName(Operation operation)
{
    switch (operation) {
    case Operation::Run:
        return "run";
    case Operation::ReadFile:
        return "read";
    case Operation::Tail:
        return "tail";
    case Operation::List:
        return "list";
    case Operation::RemoveIn:
        return "remove-in";
    case Operation::Write:
        return "write";
    case Operation::Test:
        return "test";
    }
    return "unknown";
}

std::string quoteWord(const std::string &word)
{
    static const char plain[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                "0123456789_@%+=:,./-";
    const bool bare = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return c != '\0' && std::strchr(plain, c) != nullptr;
    });
    if (bare)
        return word;
    std::string quoted = "\"";
    for (const char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
        case '\\':
            quoted += '\\';
            quoted += c;
            break;
        case '\0':
            quoted += "\\0";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\t':
            quoted += "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7f) {
                static const char hex[] = "0123456789abcdef";
                quoted += "\\x";
                quoted += hex[byte >> 4];
                quoted += hex[byte & 0xf];
            } else {
                quoted += c;
            }
        }
    }
    quoted += '"';
    return quoted;
}

std::string describe(const Request &request)
{
    std::string text = operationName(request.operation);
    const auto add = [&text](const std::string &word) {
        if (text.size() < MaxDescriptionBytes)
            text += ' ' + quoteWord(word.substr(0, MaxDescriptionBytes));
    };
    add(request.path);
    if (request.operation == Operation::Run || request.operation == Operation::RemoveIn) {
        for (const std::string &argument : request.arguments)
            add(argument);
    }
    if (text.size() > MaxDescriptionBytes) {
        text.resize(MaxDescriptionBytes);
        text += "...";
    }
    return text;
}

// --- answers ------------------------------------------------------------------------------

void appendData(std::string *out, uint32_t id, Stream stream, const char *data, size_t size)
{
    const size_t chunk = MaxPayloadBytes - 1;
    size_t at = 0;
    do {
        const size_t part = std::min(chunk, size - at);
        std::string payload;
        payload.reserve(part + 1);
        putU8(&payload, uint8_t(stream));
        payload.append(data + at, part);
        appendFrame(out, FrameType::Data, id, payload);
        at += part;
    } while (at < size);
}

void appendEntries(std::string *out, uint32_t id, Stream stream, const std::vector<Entry> &entries)
{
    std::string bytes;
    const auto flush = [&]() {
        std::string payload;
        putU8(&payload, uint8_t(stream));
        payload += bytes;
        appendFrame(out, FrameType::Data, id, payload);
        bytes.clear();
    };
    for (const Entry &entry : entries) {
        std::string encoded;
        putU8(&encoded, uint8_t(entry.kind));
        putU32(&encoded, uint32_t(entry.error));
        // A file name holds at most 255 bytes; anything longer is no name and is cut to fit.
        putBytes(&encoded, entry.name.substr(0, MaxPayloadBytes / 2));
        if (!bytes.empty() && bytes.size() + encoded.size() > MaxPayloadBytes - 1)
            flush();
        bytes += encoded;
    }
    if (!bytes.empty() || entries.empty())
        flush();
}

bool decodeData(const Frame &frame, Stream *stream, std::string *bytes, std::string *error)
{
    if (!expectType(frame, FrameType::Data, error))
        return false;
    Reader reader(frame.payload);
    uint8_t value = 0;
    if (frame.id == 0)
        reader.fail("Data must belong to a request, not to id 0");
    if (reader.u8(&value, "stream") &&
        (value < uint8_t(Stream::Output) || value > uint8_t(Stream::Unremoved)))
        reader.fail("unknown stream " + std::to_string(unsigned(value)));
    std::string rest = reader.rest();
    if (!finish(reader, "Data", error))
        return false;
    *stream = Stream(value);
    *bytes = std::move(rest);
    return true;
}

bool decodeEntries(const std::string &bytes, std::vector<Entry> *entries, std::string *error)
{
    Reader reader(bytes);
    std::vector<Entry> decoded;
    while (reader.left() > 0 && reader.error().empty()) {
        Entry entry;
        uint8_t kind = 0;
        if (reader.u8(&kind, "entry kind") && !validPathKind(kind))
            reader.fail("unknown entry kind " + std::to_string(unsigned(kind)));
        entry.kind = PathKind(kind);
        reader.i32(&entry.error, "entry error");
        reader.bytes(&entry.name, "entry name");
        decoded.push_back(std::move(entry));
    }
    if (!finish(reader, "entries", error))
        return false;
    *entries = std::move(decoded);
    return true;
}

bool Result::operator==(const Result &other) const
{
    return ending == other.ending && exitCode == other.exitCode && outputCut == other.outputCut &&
           errorCut == other.errorCut && pathKind == other.pathKind && size == other.size;
}

std::string encodeResult(uint32_t id, const Result &result)
{
    std::string payload;
    putU8(&payload, uint8_t(result.ending));
    putU32(&payload, uint32_t(result.exitCode));
    putU8(&payload, uint8_t((result.outputCut ? 1 : 0) | (result.errorCut ? 2 : 0)));
    putU8(&payload, uint8_t(result.pathKind));
    putU64(&payload, result.size);
    std::string frame;
    appendFrame(&frame, FrameType::End, id, payload);
    return frame;
}

bool decodeResult(const Frame &frame, Result *result, std::string *error)
{
    if (!expectType(frame, FrameType::End, error))
        return false;
    Reader reader(frame.payload);
    Result decoded;
    uint8_t ending = 0;
    uint8_t flags = 0;
    uint8_t kind = 0;
    if (frame.id == 0)
        reader.fail("an End must belong to a request, not to id 0");
    if (reader.u8(&ending, "ending") && ending > uint8_t(Result::Ending::LeftRunning))
        reader.fail("unknown ending " + std::to_string(unsigned(ending)));
    reader.i32(&decoded.exitCode, "exit code");
    if (reader.u8(&flags, "flags") && (flags & ~3u) != 0)
        reader.fail("unknown flags " + std::to_string(unsigned(flags)));
    if (reader.u8(&kind, "path kind") && !validPathKind(kind))
        reader.fail("unknown path kind " + std::to_string(unsigned(kind)));
    reader.u64(&decoded.size, "size");
    if (!finish(reader, "End", error))
        return false;
    decoded.ending = Result::Ending(ending);
    decoded.outputCut = flags & 1;
    decoded.errorCut = flags & 2;
    decoded.pathKind = PathKind(kind);
    *result = decoded;
    return true;
}

std::string encodeError(uint32_t id, ErrorKind kind, const std::string &message)
{
    std::string payload;
    putU8(&payload, uint8_t(kind));
    putBytes(&payload, message.substr(0, MaxPayloadBytes - 5));
    std::string frame;
    appendFrame(&frame, FrameType::Error, id, payload);
    return frame;
}

bool decodeError(const Frame &frame, ErrorKind *kind, std::string *message, std::string *error)
{
    if (!expectType(frame, FrameType::Error, error))
        return false;
    Reader reader(frame.payload);
    uint8_t value = 0;
    std::string text;
    if (reader.u8(&value, "kind") &&
        (value < uint8_t(ErrorKind::Refused) || value > uint8_t(ErrorKind::Protocol)))
        reader.fail("unknown error kind " + std::to_string(unsigned(value)));
    reader.bytes(&text, "message");
    if (!finish(reader, "Error", error))
        return false;
    *kind = ErrorKind(value);
    *message = std::move(text);
    return true;
}

} // namespace Bridge
