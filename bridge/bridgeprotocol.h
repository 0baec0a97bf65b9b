#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/**
 * The protocol between the console and vell-admin-bridge, on the bridge's stdin and stdout.
 *
 * Frames. Every message is one binary-safe frame:
 *
 *     offset  size  field
 *     0       4     length: the bytes that follow this field (type, id and payload),
 *                   unsigned, big-endian; at least 5, at most MaxFrameBytes - 4
 *     4       1     type: a FrameType
 *     5       4     id: the request the frame belongs to, unsigned, big-endian; 0 for the
 *                   connection itself (Hello, and an Error that ends the connection)
 *     9       ...   payload: length - 5 bytes, laid out as the type says
 *
 * A frame holds at most MaxFrameBytes (1 MiB) in all. The payloads use four field kinds, all
 * big-endian: u8, u32, i32, u64, and "bytes" (a u32 count, then that many bytes, any values,
 * NUL included). A payload must be used up exactly: bytes left over make the frame malformed.
 *
 * Conversation. Both sides first send a Hello (id 0): the magic "vell-admin-bridge", their
 * protocol version (u32) and their software as text. The bridge always answers with its own
 * Hello, so the console learns its version; when the versions differ, the side that notices
 * sends an Error of kind Version (id 0) whose message names both versions, and the connection
 * ends. Then the console sends requests, each with an id of its choosing (not 0, not one in
 * flight), as many as it likes without waiting; the bridge answers each by its id, in any
 * order: zero or more Data frames (stdout, stderr, file content, directory entries, names not
 * removed), then exactly one End frame (the Result, the end marker) or one Error frame. Long
 * output is cut into as many Data frames as it needs. A Cancel frame (id of the request,
 * empty payload) asks the bridge to stop a request; the request is answered as usual then,
 * with an Error of kind Cancelled unless it ended first.
 *
 * Payloads:
 *
 *     Hello    bytes magic, u32 version, bytes software
 *     Request  u8 operation, then by operation:
 *                Run       bytes program, u8 change (0 read-only, 1 change), u32 time limit
 *                          in ms, u64 output limit in bytes (per stream), u32 count, count x
 *                          bytes argument (argv[1] onwards)
 *                ReadFile  bytes path, u64 byte limit
 *                Tail      bytes path, u32 lines, u64 byte limit
 *                List      bytes path
 *                RemoveIn  bytes directory, u32 count, count x bytes name
 *                Write     bytes path, bytes content
 *                Test      bytes path
 *              A limit of 0 asks for the policy's; any other is clamped to the policy's.
 *     Cancel   (empty)
 *     Data     u8 stream, then the stream's bytes to the end of the payload; for the Entries
 *              and Unremoved streams these are whole entries: u8 kind, i32 errno, bytes name
 *     End      u8 ending, i32 exit code (the signal for Crashed), u8 flags (1 output cut,
 *              2 error output cut), u8 path kind (Test), u64 size (Test: of a file)
 *     Error    u8 kind, bytes message
 *
 * What the bridge answers. A program's run ends with End (its ending and exit code) or, when
 * it could not be started, an Error of kind Failed. A file operation the policy admits ends
 * with End even when it fails: the exit code holds the errno of the failure (0: done) and the
 * path kind what was found (File for a file read or written, Directory for a listing or
 * removal; Missing for ENOENT, Link for ELOOP: a link where none may be). Entries give the
 * kind of each name with links followed (Missing: a link leading nowhere). A removal sends in
 * Unremoved every name it left, with its errno (ENOENT: gone already; EISDIR, EPERM: no plain
 * entry); the other names were removed. Test gives the kind with a final link followed.
 * A request the policy refuses gets an Error of kind Refused whose message names it.
 *
 * The bridge's own faults end the connection with an Error of id 0 after its Hello: Version,
 * Protocol (a malformed or oversized frame; a peer that speaks no frames gets the Hello too),
 * or Refused when its policy cannot be loaded (the message names the file and why). When its
 * standard input closes, read-only runs are killed and nothing more starts; changes finish.
 */
namespace Bridge {

/// The version of this protocol. Any change of a frame's or payload's layout raises it.
constexpr uint32_t ProtocolVersion = 1;
/// The largest frame, its header included.
constexpr size_t MaxFrameBytes = 1024 * 1024;
/// Length, type and id.
constexpr size_t FrameHeaderBytes = 9;
constexpr size_t MaxPayloadBytes = MaxFrameBytes - FrameHeaderBytes;
/// The first field of a Hello.
constexpr const char HelloMagic[] = "vell-admin-bridge";

enum class FrameType : uint8_t
{
    Hello = 1,
    Request = 2,
    Cancel = 3,
    Data = 4,
    End = 5,
    Error = 6
};

/** One decoded frame: its type, the request it belongs to, and its payload as sent. */
struct Frame
{
    FrameType type = FrameType::Hello;
    uint32_t id = 0;
    std::string payload;
};

/// Appends the frame to @p out; false, with nothing appended, when the payload is too long.
bool appendFrame(std::string *out, FrameType type, uint32_t id, const std::string &payload);

/**
 * Cuts a byte stream into frames as the bytes arrive, in chunks of any size. It keeps at
 * most one frame and never takes more bytes than complete the frame it is on, so the caller
 * owns everything after it. A length over the limit, a length too short for a header, or an
 * unknown type fails the stream at once, as soon as the header shows it (an oversized frame
 * is not waited for); once failed, it stays failed: a byte stream cannot be resynchronised.
 */
class FrameDecoder
{
public:
    enum Status
    {
        NeedMore,   ///< the bytes so far end inside a frame (or nothing came yet)
        FrameReady, ///< a whole frame is there: takeFrame()
        Failed      ///< the stream is malformed: error()
    };

    /**
     * Takes bytes from @p data, at most @p size, stopping right after the first frame they
     * complete; returns how many it took. Call again with the rest after taking the frame.
     * Takes nothing while a frame waits to be taken or the stream has failed.
     */
    size_t feed(const char *data, size_t size);
    Status status() const { return m_status; }
    /// The ready frame; the decoder goes on with the next one.
    Frame takeFrame();
    /// The stream ended: fails it when that was inside a frame. Returns the status.
    Status endOfStream();
    /// Why the stream failed, naming what was wrong.
    const std::string &error() const { return m_error; }
    /// Bytes of an incomplete frame held.
    size_t buffered() const { return m_buffer.size(); }
    /// Frames decoded so far.
    uint64_t framesDecoded() const { return m_frames; }

private:
    void fail(const std::string &why);

    std::string m_buffer;
    uint32_t m_length = 0; ///< of the frame being read, once its length field is in
    Status m_status = NeedMore;
    std::string m_error;
    Frame m_ready;
    uint64_t m_frames = 0;
};

// --- handshake ----------------------------------------------------------------------------

struct Hello
{
    uint32_t version = ProtocolVersion;
    std::string software;
};

/// Which side of the connection a message speaks for.
enum class Side
{
    Console,
    Bridge
};

std::string encodeHello(const Hello &hello);
bool decodeHello(const Frame &frame, Hello *hello, std::string *error);
/**
 * Empty when @p peerVersion is @p ownVersion; otherwise the message that ends the connection,
 * naming both versions and which side speaks which.
 */
std::string versionMismatch(Side ownSide, uint32_t ownVersion, uint32_t peerVersion);

// --- requests -----------------------------------------------------------------------------

enum class Operation : uint8_t
{
    Run = 1,
    ReadFile = 2,
    Tail = 3,
    List = 4,
    RemoveIn = 5,
    Write = 6,
    Test = 7
};

/** What the console asks the bridge to do. Fields an operation does not use stay empty. */
struct Request
{
    Operation operation = Operation::Run;
    /// Run: the program (an absolute path); RemoveIn: the directory; else the path.
    std::string path;
    /// Run: the arguments after the program; RemoveIn: the names to remove.
    std::vector<std::string> arguments;
    /// Run: the program changes something (it is logged, never killed on a hang-up).
    bool change = false;
    /// Run: the time limit; 0 asks for the policy's.
    uint32_t timeLimitMs = 0;
    /// Run: output kept per stream; ReadFile, Tail: bytes read. 0 asks for the policy's.
    uint64_t byteLimit = 0;
    /// Tail: the last lines wanted; 0 asks for the policy's.
    uint32_t lines = 0;
    /// Write: the file's new content.
    std::string content;

    bool operator==(const Request &other) const;
};

/// The request's frame in @p frame; false, with @p error, when it does not fit in one frame.
bool encodeRequest(uint32_t id, const Request &request, std::string *frame, std::string *error);
bool decodeRequest(const Frame &frame, Request *request, std::string *error);
std::string encodeCancel(uint32_t id);
/// A Cancel frame: an id of a request, nothing else.
bool decodeCancel(const Frame &frame, std::string *error);

/// The operation's word as the policy and messages say it ("run", "read", ...).
const char *operationName(Operation operation);
/**
 * The request as a refusal or the system log names it: the operation, then the program and
 * its arguments or the path (and the names of a removal), each word quoted where it holds
 * blanks, quotes or control characters (those escaped, a NUL as \0), at most a few KiB.
 */
std::string describe(const Request &request);
/// One word as describe() writes it.
std::string quoteWord(const std::string &word);

// --- answers ------------------------------------------------------------------------------

enum class Stream : uint8_t
{
    Output = 1, ///< a program's standard output
    ErrorOutput = 2,
    Content = 3,  ///< a file's bytes (ReadFile, Tail)
    Entries = 4,  ///< a directory's entries (List)
    Unremoved = 5 ///< the names a removal left, with the reason (RemoveIn)
};

enum class PathKind : uint8_t
{
    Missing = 0,
    File = 1,
    Directory = 2,
    Link = 3,
    Other = 4
};

/** One directory entry (List), or one name a removal left and why (RemoveIn). */
struct Entry
{
    PathKind kind = PathKind::Other;
    int32_t error = 0; ///< RemoveIn: the errno of the failed removal
    std::string name;

    bool operator==(const Entry &other) const
    {
        return kind == other.kind && error == other.error && name == other.name;
    }
};

/// Appends Data frames carrying @p size bytes of @p stream, as many as they need (one for
/// nothing at all).
void appendData(std::string *out, uint32_t id, Stream stream, const char *data, size_t size);
/// Appends Data frames of whole entries (Entries or Unremoved), as few as they fit in.
void appendEntries(std::string *out, uint32_t id, Stream stream, const std::vector<Entry> &entries);
/// A Data frame's stream and bytes.
bool decodeData(const Frame &frame, Stream *stream, std::string *bytes, std::string *error);
/// The entries in a Data frame's bytes of the Entries or Unremoved stream.
bool decodeEntries(const std::string &bytes, std::vector<Entry> *entries, std::string *error);

/** How a request ended: the End frame, after the request's Data frames. */
struct Result
{
    enum class Ending : uint8_t
    {
        Finished = 0,   ///< ran to its end (exitCode holds its exit code)
        Crashed = 1,    ///< killed by a signal (exitCode holds the signal)
        TimedOut = 2,   ///< killed, with its process group, at the time limit
        LeftRunning = 3 ///< a change still running when the wait for it ended
    };
    Ending ending = Ending::Finished;
    int32_t exitCode = 0;
    bool outputCut = false; ///< more standard output (or content) than the limit
    bool errorCut = false;
    PathKind pathKind = PathKind::Missing; ///< Test
    uint64_t size = 0;                     ///< Test: a file's size

    bool operator==(const Result &other) const;
};

std::string encodeResult(uint32_t id, const Result &result);
bool decodeResult(const Frame &frame, Result *result, std::string *error);

enum class ErrorKind : uint8_t
{
    Refused = 1,   ///< the policy admits no such request
    Failed = 2,    ///< admitted, but it could not be done (the reason in the message)
    Cancelled = 3, ///< stopped on the console's Cancel
    Malformed = 4, ///< the request could not be decoded, or its id is taken
    Version = 5,   ///< the protocol versions differ (id 0; the connection ends)
    Protocol = 6   ///< the stream is broken (id 0; the connection ends)
};

/// An Error frame; a message longer than a frame holds is cut.
std::string encodeError(uint32_t id, ErrorKind kind, const std::string &message);
bool decodeError(const Frame &frame, ErrorKind *kind, std::string *message, std::string *error);

} // namespace Bridge
