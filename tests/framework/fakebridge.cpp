// A stand-in for vell-admin-bridge that speaks its protocol on stdin and stdout, for the suite
// of the console's side. No policy: files are this machine's (the suite's temporary tree), and
// programs are behaviours named by their path:
//   /fake/echo ARGS...     prints the arguments, "err" on standard error, exit code 0
//   /fake/exit CODE        exit code CODE
//   /fake/sleep MS TEXT    answers TEXT after MS milliseconds, on a thread of its own
//   /fake/big BYTES        prints BYTES bytes (byte i is i % 251): many Data frames
//   /fake/hang             never answers, unless cancelled
//   /fake/cancels          prints how many Cancel frames came so far
//   /fake/waiting          prints how many hang and change requests came so far
//   /fake/die              says so on standard error and exits with code 3 at once
//   /fake/change MS        (a change) ends after MS milliseconds
// File operations answer as the bridge does: End with the errno of a failure and what was
// found, kinds with links followed. Anything else is refused. The first argument chooses how it
// greets: "serve" (default), "version N" (speaks protocol version N), "silent" (never greets),
// "refuse" (exits as pkexec does when authorisation is refused), "garbage" (greets, then prints
// text).

#include <bridgeprotocol.h>
#include <hostiofiles.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::mutex outMutex;
std::atomic<int> cancels{0};
std::atomic<int> waiting{0};

void send(const std::string &bytes)
{
    const std::lock_guard<std::mutex> lock(outMutex);
    size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + at, bytes.size() - at);
        if (n <= 0)
            std::_Exit(1);
        at += size_t(n);
    }
}

void answerOutput(uint32_t id, const std::string &out, const std::string &err, int code)
{
    std::string frames;
    Bridge::appendData(&frames, id, Bridge::Stream::Output, out.data(), out.size());
    if (!err.empty())
        Bridge::appendData(&frames, id, Bridge::Stream::ErrorOutput, err.data(), err.size());
    Bridge::Result result;
    result.exitCode = code;
    frames += Bridge::encodeResult(id, result);
    send(frames);
}

/// A file operation that failed ends with its errno and what was found, as the bridge's do.
void failed(uint32_t id, const hostio::Outcome &outcome, Bridge::PathKind kind)
{
    Bridge::Result result;
    switch (outcome.status) {
    case hostio::Status::Missing:
        result.exitCode = ENOENT;
        break;
    case hostio::Status::NotRegular:
        result.exitCode = kind == Bridge::PathKind::Directory ? EISDIR : EINVAL;
        break;
    case hostio::Status::NotDirectory:
        result.exitCode = ENOTDIR;
        break;
    case hostio::Status::Link:
        result.exitCode = ELOOP;
        break;
    default:
        result.exitCode = outcome.error ? outcome.error : EIO;
    }
    result.pathKind = kind;
    send(Bridge::encodeResult(id, result));
}

/// What is at @p path, a final link followed; Link: a link leading nowhere.
Bridge::PathKind kindAt(const std::string &path)
{
    const hostio::PathInfo info = hostio::pathInfo(path);
    switch (info.type) {
    case hostio::FileType::None:
        return info.link ? Bridge::PathKind::Link : Bridge::PathKind::Missing;
    case hostio::FileType::Regular:
        return Bridge::PathKind::File;
    case hostio::FileType::Directory:
        return Bridge::PathKind::Directory;
    default:
        return Bridge::PathKind::Other;
    }
}

void content(uint32_t id, const hostio::FileContent &read, const std::string &path)
{
    if (!read.ok())
        return failed(id, read, kindAt(path));
    std::string frames;
    Bridge::appendData(&frames, id, Bridge::Stream::Content, read.data.data(), read.data.size());
    Bridge::Result result;
    result.outputCut = read.cut;
    frames += Bridge::encodeResult(id, result);
    send(frames);
}

void handle(uint32_t id, const Bridge::Request &r)
{
    const std::string arg0 = r.arguments.empty() ? std::string() : r.arguments[0];
    switch (r.operation) {
    case Bridge::Operation::Run:
        if (r.path == "/fake/echo") {
            std::string out;
            for (const std::string &a : r.arguments)
                out += (out.empty() ? "" : " ") + a;
            return answerOutput(id, out + "\n", "err", 0);
        }
        if (r.path == "/fake/exit")
            return answerOutput(id, std::string(), std::string(), std::atoi(arg0.c_str()));
        if (r.path == "/fake/sleep" || r.path == "/fake/change") {
            if (r.change)
                ++waiting;
            const int ms = std::atoi(arg0.c_str());
            const std::string text = r.arguments.size() > 1 ? r.arguments[1] : std::string();
            std::thread([id, ms, text] {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                answerOutput(id, text, std::string(), 0);
            }).detach();
            return;
        }
        if (r.path == "/fake/big") {
            std::string out(size_t(std::atol(arg0.c_str())), '\0');
            for (size_t i = 0; i < out.size(); ++i)
                out[i] = char(i % 251);
            return answerOutput(id, out, std::string(), 0);
        }
        if (r.path == "/fake/hang") {
            ++waiting;
            return;
        }
        if (r.path == "/fake/waiting")
            return answerOutput(id, std::to_string(waiting.load()), std::string(), 0);
        if (r.path == "/fake/cancels")
            return answerOutput(id, std::to_string(cancels.load()), std::string(), 0);
        if (r.path == "/fake/die") {
            std::fputs("fake bridge: dying\n", stderr);
            std::fflush(stderr);
            std::_Exit(3);
        }
        break;
    case Bridge::Operation::ReadFile:
        return content(id, hostio::readFile(r.path, r.byteLimit), r.path);
    case Bridge::Operation::Tail:
        return content(id, hostio::readTail(r.path, r.lines, r.byteLimit), r.path);
    case Bridge::Operation::List: {
        const hostio::DirectoryListing listing = hostio::listDirectory(r.path, 100000);
        if (!listing.ok())
            return failed(id, listing, kindAt(r.path));
        std::vector<Bridge::Entry> entries;
        // Backwards: the console sorts.
        for (auto it = listing.entries.rbegin(); it != listing.entries.rend(); ++it)
            entries.push_back({kindAt(r.path + "/" + it->name), 0, it->name});
        std::string frames;
        Bridge::appendEntries(&frames, id, Bridge::Stream::Entries, entries);
        frames += Bridge::encodeResult(id, Bridge::Result());
        return send(frames);
    }
    case Bridge::Operation::RemoveIn: {
        std::vector<Bridge::Entry> left;
        for (const std::string &name : r.arguments) {
            if (::unlink((r.path + "/" + name).c_str()) != 0)
                left.push_back({Bridge::PathKind::Other, errno, name});
        }
        std::string frames;
        if (!left.empty())
            Bridge::appendEntries(&frames, id, Bridge::Stream::Unremoved, left);
        frames += Bridge::encodeResult(id, Bridge::Result());
        return send(frames);
    }
    case Bridge::Operation::Write: {
        const hostio::Outcome written = hostio::writeFileAtomically(r.path, r.content);
        if (!written.ok())
            return failed(id, written, kindAt(r.path));
        return send(Bridge::encodeResult(id, Bridge::Result()));
    }
    case Bridge::Operation::Test: {
        Bridge::Result result;
        result.pathKind = kindAt(r.path);
        return send(Bridge::encodeResult(id, result));
    }
    }
    send(Bridge::encodeError(id, Bridge::ErrorKind::Refused,
                             "no rule admits: " + Bridge::describe(r)));
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "serve";
    if (mode == "refuse") {
        std::fputs("Error executing command as another user: Not authorized\n", stderr);
        return 126;
    }
    Bridge::Hello hello;
    hello.software = "fakebridge";
    if (mode == "version")
        hello.version = uint32_t(std::atoi(argc > 2 ? argv[2] : "0"));
    if (mode != "silent") {
        send(Bridge::encodeHello(hello));
    }
    if (mode == "garbage")
        send("Password for root: \n");

    Bridge::FrameDecoder decoder;
    bool greeted = false;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0)
            return 0;
        size_t at = 0;
        while (at < size_t(n)) {
            at += decoder.feed(buffer + at, size_t(n) - at);
            if (decoder.status() == Bridge::FrameDecoder::Failed) {
                std::fprintf(stderr, "fake bridge: %s\n", decoder.error().c_str());
                return 2;
            }
            if (decoder.status() != Bridge::FrameDecoder::FrameReady)
                continue;
            const Bridge::Frame frame = decoder.takeFrame();
            std::string error;
            if (frame.type == Bridge::FrameType::Error) {
                Bridge::ErrorKind kind;
                std::string message;
                Bridge::decodeError(frame, &kind, &message, &error);
                std::fprintf(stderr, "fake bridge: the console said: %s\n", message.c_str());
                return 1;
            }
            if (!greeted) {
                Bridge::Hello theirs;
                if (!Bridge::decodeHello(frame, &theirs, &error))
                    return 2;
                greeted = true;
                continue;
            }
            if (frame.type == Bridge::FrameType::Cancel) {
                ++cancels;
                send(Bridge::encodeError(frame.id, Bridge::ErrorKind::Cancelled, "cancelled"));
                continue;
            }
            Bridge::Request request;
            if (!Bridge::decodeRequest(frame, &request, &error)) {
                send(Bridge::encodeError(frame.id, Bridge::ErrorKind::Malformed, error));
                continue;
            }
            handle(frame.id, request);
        }
    }
}
