#include <bridgeprotocol.h>

#include <QTest>

#include <functional>

using namespace Bridge;

Q_DECLARE_METATYPE(Bridge::Request)

namespace {

/// Decodes @p stream handed over in chunks of the sizes @p chunkAt gives (cycled); fails the
/// test on a decoder error or bytes left inside a frame.
std::vector<Frame> decodeAll(const std::string &stream,
                             const std::function<size_t(size_t)> &chunkAt)
{
    FrameDecoder decoder;
    std::vector<Frame> frames;
    size_t at = 0;
    for (size_t call = 0; at < stream.size(); ++call) {
        const size_t chunk = std::min(std::max<size_t>(chunkAt(call), 1), stream.size() - at);
        size_t given = 0;
        while (given < chunk) {
            given += decoder.feed(stream.data() + at + given, chunk - given);
            if (decoder.status() == FrameDecoder::FrameReady)
                frames.push_back(decoder.takeFrame());
            else if (decoder.status() == FrameDecoder::Failed)
                return {};
        }
        at += chunk;
    }
    if (decoder.endOfStream() != FrameDecoder::NeedMore)
        return {};
    return frames;
}

/// Every way the stream may arrive: whole, byte by byte, and cut once at every position.
bool decodesInEveryChunking(const std::string &stream, const std::vector<Frame> &expected)
{
    const auto same = [&expected](const std::vector<Frame> &frames) {
        if (frames.size() != expected.size())
            return false;
        for (size_t i = 0; i < frames.size(); ++i) {
            if (frames[i].type != expected[i].type || frames[i].id != expected[i].id ||
                frames[i].payload != expected[i].payload)
                return false;
        }
        return true;
    };
    if (!same(decodeAll(stream, [&](size_t) { return stream.size(); })) ||
        !same(decodeAll(stream, [](size_t) { return 1; })))
        return false;
    for (size_t cut = 1; cut < stream.size(); ++cut) {
        if (!same(decodeAll(stream, [cut](size_t call) { return call == 0 ? cut : SIZE_MAX; })))
            return false;
    }
    return true;
}

Frame frameOf(const std::string &encoded)
{
    FrameDecoder decoder;
    decoder.feed(encoded.data(), encoded.size());
    return decoder.takeFrame();
}

std::string header(uint32_t length, uint8_t type, uint32_t id)
{
    std::string bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes += char((length >> shift) & 0xff);
    bytes += char(type);
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes += char((id >> shift) & 0xff);
    return bytes;
}

std::string frame(uint8_t type, uint32_t id, const std::string &payload)
{
    return header(uint32_t(payload.size() + 5), type, id) + payload;
}

std::string u32(uint32_t value)
{
    return header(value, 0, 0).substr(0, 4);
}

Request request(Operation operation, const std::string &path)
{
    Request r;
    r.operation = operation;
    r.path = path;
    return r;
}

} // namespace

/** The bridge's frames and messages: round trips in any chunking, and every kind of bad input. */
class TestBridgeProtocol : public QObject
{
    Q_OBJECT
private slots:
    void requestRoundTrip_data();
    void requestRoundTrip();
    void answersInAnyOrder();
    void longOutputStreams();
    void malformedStream_data();
    void malformedStream();
    void truncatedStream();
    void garbagePayload_data();
    void garbagePayload();
    void handshake();
    void describe_data();
    void describe();
};

void TestBridgeProtocol::requestRoundTrip_data()
{
    QTest::addColumn<Request>("request");
    Request run = request(Operation::Run, "/usr/sbin/apache2ctl");
    run.arguments = {"-S", "-f", std::string("with\0NUL and \xff bytes", 21), ""};
    run.timeLimitMs = 1500;
    run.byteLimit = uint64_t(5) << 33;
    QTest::newRow("run, read-only") << run;
    run.change = true;
    run.arguments.clear();
    QTest::newRow("run, a change, no arguments") << run;
    Request read = request(Operation::ReadFile, "/etc/samba/smb.conf");
    read.byteLimit = 42;
    QTest::newRow("read") << read;
    Request tail = request(Operation::Tail, "/var/log/apache2/error.log");
    tail.lines = 100;
    tail.byteLimit = 65536;
    QTest::newRow("tail") << tail;
    QTest::newRow("list") << request(Operation::List, "/etc/cron.d");
    Request remove = request(Operation::RemoveIn, "/var/spool/cups");
    remove.arguments = {"c00001", "d00001-001"};
    QTest::newRow("remove-in") << remove;
    Request write = request(Operation::Write, "/etc/postgresql/15/main/start.conf");
    write.content = std::string("auto\n\0\x01", 7);
    QTest::newRow("write") << write;
    QTest::newRow("test") << request(Operation::Test, "/etc/apache2/sites-enabled");
}

void TestBridgeProtocol::requestRoundTrip()
{
    QFETCH(Request, request);
    std::string stream;
    std::string error;
    QVERIFY2(encodeRequest(7, request, &stream, &error), error.c_str());
    const std::string cancel = encodeCancel(7);
    stream += cancel;
    Frame first = frameOf(stream);
    QVERIFY(decodesInEveryChunking(stream, {first, frameOf(cancel)}));
    Request decoded;
    QVERIFY2(decodeRequest(first, &decoded, &error), error.c_str());
    QCOMPARE(first.id, 7u);
    QVERIFY(decoded == request);
    QVERIFY2(decodeCancel(frameOf(cancel), &error), error.c_str());
}

void TestBridgeProtocol::answersInAnyOrder()
{
    // Three requests in flight, answered interleaved: data of 9, the end of 3, data and end of 5,
    // the end of 9.
    Result finished;
    finished.exitCode = 3;
    finished.outputCut = true;
    Result crashed;
    crashed.ending = Result::Ending::Crashed;
    crashed.exitCode = 11;
    crashed.errorCut = true;
    Result tested;
    tested.pathKind = PathKind::Directory;
    tested.size = 4096;
    const std::vector<Entry> entries{{PathKind::File, 0, "c00001"},
                                     {PathKind::Link, 0, "l"},
                                     {PathKind::Other, 13, std::string("n\0l", 3)}};
    std::string stream;
    appendData(&stream, 9, Stream::Output, "out", 3);
    stream += encodeResult(3, tested);
    appendEntries(&stream, 5, Stream::Unremoved, entries);
    stream += encodeError(5, ErrorKind::Refused, "Refused: run /usr/bin/systemctl link /x");
    appendData(&stream, 9, Stream::ErrorOutput, "", 0);
    stream += encodeResult(9, crashed);
    stream += encodeResult(11, finished);

    std::vector<Frame> frames = decodeAll(stream, [](size_t call) { return call % 7 + 1; });
    QVERIFY(decodesInEveryChunking(stream, frames));
    QCOMPARE(frames.size(), size_t(7));
    const std::vector<uint32_t> ids{9, 3, 5, 5, 9, 9, 11};
    for (size_t i = 0; i < ids.size(); ++i)
        QCOMPARE(frames[i].id, ids[i]);
    std::string error;
    Stream stream0;
    std::string bytes;
    QVERIFY(decodeData(frames[0], &stream0, &bytes, &error));
    QCOMPARE(int(stream0), int(Stream::Output));
    QCOMPARE(bytes, std::string("out"));
    Result result;
    QVERIFY(decodeResult(frames[1], &result, &error));
    QVERIFY(result == tested);
    std::vector<Entry> decoded;
    QVERIFY(decodeData(frames[2], &stream0, &bytes, &error));
    QCOMPARE(int(stream0), int(Stream::Unremoved));
    QVERIFY(decodeEntries(bytes, &decoded, &error));
    QVERIFY(decoded == entries);
    ErrorKind kind;
    std::string message;
    QVERIFY(decodeError(frames[3], &kind, &message, &error));
    QCOMPARE(int(kind), int(ErrorKind::Refused));
    QCOMPARE(message, std::string("Refused: run /usr/bin/systemctl link /x"));
    QVERIFY(decodeData(frames[4], &stream0, &bytes, &error));
    QVERIFY(bytes.empty());
    QVERIFY(decodeResult(frames[5], &result, &error));
    QVERIFY(result == crashed);
    QVERIFY(decodeResult(frames[6], &result, &error));
    QVERIFY(result == finished);
    // A frame of one type is not read as another.
    QVERIFY(!decodeResult(frames[0], &result, &error));
    QVERIFY(error.find("Data frame where End was expected") != std::string::npos);
}

void TestBridgeProtocol::longOutputStreams()
{
    std::string output(MaxFrameBytes * 2 + 12345, '\0');
    for (size_t i = 0; i < output.size(); ++i)
        output[i] = char(i * 7 + i / 1000);
    std::string stream;
    appendData(&stream, 4, Stream::Output, output.data(), output.size());
    std::vector<Entry> entries;
    for (int i = 0; i < 20000; ++i)
        entries.push_back(
            {PathKind::File, 0, std::string(200, char('a' + i % 26)) + std::to_string(i)});
    appendEntries(&stream, 4, Stream::Entries, entries);

    const std::vector<Frame> frames = decodeAll(stream, [](size_t) { return 65536; });
    std::string joined;
    std::vector<Entry> listed;
    size_t outputFrames = 0;
    for (const Frame &f : frames) {
        QVERIFY(f.payload.size() + FrameHeaderBytes <= MaxFrameBytes);
        Stream kind;
        std::string bytes;
        std::string error;
        QVERIFY2(decodeData(f, &kind, &bytes, &error), error.c_str());
        if (kind == Stream::Output) {
            joined += bytes;
            ++outputFrames;
            continue;
        }
        std::vector<Entry> part;
        // Entries are never split between frames.
        QVERIFY2(decodeEntries(bytes, &part, &error), error.c_str());
        listed.insert(listed.end(), part.begin(), part.end());
    }
    QCOMPARE(outputFrames, size_t(3));
    QVERIFY(joined == output);
    QVERIFY(frames.size() > 5);
    QVERIFY(listed == entries);
}

void TestBridgeProtocol::malformedStream_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("taken");
    QTest::addColumn<QString>("error");
    const std::string good = encodeCancel(1);
    const auto row = [](const char *name, const std::string &bytes, int taken, const char *error) {
        QTest::newRow(name) << QByteArray(bytes.data(), int(bytes.size())) << taken
                            << QString::fromLatin1(error);
    };
    // Refused on its length alone: the megabyte is never waited for.
    row("oversized", header(uint32_t(MaxFrameBytes - 3), 2, 1) + "rest", 4,
        "a frame of 1048577 bytes exceeds the limit of 1048576 bytes");
    row("largest length taken", header(uint32_t(MaxFrameBytes - 4), 2, 1), 9, "");
    row("text from a shell", "Welcome to host\n", 4,
        "the peer does not speak the bridge protocol (it began with \"Welc\")");
    row("length without type and id", header(4, 2, 1), 4, "too short for a type and an id");
    row("unknown type", header(5, 9, 1), 5, "unknown frame type 9");
    row("bad frame after a good one", good + header(uint32_t(MaxFrameBytes), 2, 1),
        int(good.size()) + 4, "malformed frame after 1 good ones");
}

void TestBridgeProtocol::malformedStream()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, taken);
    QFETCH(QString, error);
    FrameDecoder decoder;
    size_t at = 0;
    while (at < size_t(bytes.size())) {
        const size_t used = decoder.feed(bytes.constData() + at, size_t(bytes.size()) - at);
        at += used;
        if (decoder.status() == FrameDecoder::FrameReady)
            decoder.takeFrame();
        else
            break;
    }
    // Never a byte past the one that showed the fault: the caller keeps the rest.
    QCOMPARE(int(at), taken);
    if (error.isEmpty()) {
        QCOMPARE(int(decoder.status()), int(FrameDecoder::NeedMore));
        return;
    }
    QCOMPARE(int(decoder.status()), int(FrameDecoder::Failed));
    QVERIFY2(decoder.error().find(error.toStdString()) != std::string::npos,
             decoder.error().c_str());
    // Failed for good: nothing more is taken.
    QCOMPARE(decoder.feed("\0\0\0\5\1", 5), size_t(0));
    QCOMPARE(int(decoder.status()), int(FrameDecoder::Failed));
}

void TestBridgeProtocol::truncatedStream()
{
    std::string stream;
    std::string error;
    Request r = request(Operation::ReadFile, "/etc/crontab");
    QVERIFY(encodeRequest(1, r, &stream, &error));
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        FrameDecoder decoder;
        QCOMPARE(decoder.feed(stream.data(), cut), cut);
        const bool whole = cut == 0 || cut == stream.size();
        QCOMPARE(int(decoder.status()),
                 int(cut == stream.size() ? FrameDecoder::FrameReady : FrameDecoder::NeedMore));
        QCOMPARE(decoder.buffered(), whole ? size_t(0) : cut);
        QCOMPARE(int(decoder.endOfStream()), int(cut == stream.size() ? FrameDecoder::FrameReady
                                                 : whole              ? FrameDecoder::NeedMore
                                                                      : FrameDecoder::Failed));
        if (!whole)
            QVERIFY2(decoder.error().find("ended inside a frame (" + std::to_string(cut) +
                                          " of ") != std::string::npos,
                     decoder.error().c_str());
    }
}

void TestBridgeProtocol::garbagePayload_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("error");
    const auto row = [](const char *name, const std::string &bytes, const char *error) {
        QTest::newRow(name) << QByteArray(bytes.data(), int(bytes.size()))
                            << QString::fromLatin1(error);
    };
    const std::string path = u32(4) + "/etc";
    row("unknown operation", frame(2, 1, "\x08" + path), "unknown operation 8");
    row("request id 0", frame(2, 0, "\x04" + path), "must not have id 0");
    row("path longer than the frame", frame(2, 1, "\x04" + u32(99) + "/etc"),
        "truncated at path (99 bytes needed, 4 left)");
    row("byte left over", frame(2, 1, "\x04" + path + "x"), "1 bytes left over");
    row("change neither 0 nor 1",
        frame(2, 1, "\x01" + path + "\x02" + u32(0) + u32(0) + u32(0) + u32(0)), "change is 2");
    // A forged count must not make the decoder reserve gigabytes.
    row("count beyond the frame",
        frame(2, 1,
              "\x01" + path + std::string(1, '\0') + u32(0) + u32(0) + u32(0) + u32(1000000000)),
        "count of arguments (1000000000) exceeds");
    row("names cut short", frame(2, 1, "\x05" + path + u32(2) + u32(1) + "a" + u32(5) + "b"),
        "truncated at argument");
    row("hello with another greeting", frame(1, 0, u32(3) + "ssh" + u32(1) + u32(0)),
        "greeting is not \"vell-admin-bridge\" but ssh");
    row("hello on a request id", frame(1, 4, u32(17) + "vell-admin-bridge" + u32(1) + u32(0)),
        "must have id 0");
    row("end with unknown flags",
        frame(5, 1,
              std::string(1, '\0') + u32(0) + "\x04" + std::string(1, '\0') + u32(0) + u32(0)),
        "unknown flags 4");
    row("end with unknown ending",
        frame(5, 1, "\x07" + u32(0) + std::string(2, '\0') + u32(0) + u32(0)), "unknown ending 7");
    row("end cut short", frame(5, 1, std::string(1, '\0') + u32(0)), "truncated at flags");
    row("error of kind 0", frame(6, 1, std::string(1, '\0') + u32(0)), "unknown error kind 0");
    row("data of stream 6", frame(4, 1, "\x06payload"), "unknown stream 6");
    row("data for id 0", frame(4, 0, "\x01payload"), "not to id 0");
    row("entry cut short", frame(4, 1, "\x04\x01" + u32(0) + u32(9) + "ab"),
        "truncated at entry name");
    row("entry of kind 9", frame(4, 1, "\x04\x09" + u32(0) + u32(1) + "a"), "unknown entry kind 9");
    row("cancel with a payload", frame(3, 1, "x"), "1 bytes left over");
    row("cancel of id 0", frame(3, 0, ""), "not id 0");
}

void TestBridgeProtocol::garbagePayload()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, error);
    const Frame decoded = frameOf(frame.toStdString());
    std::string why;
    bool good = false;
    switch (decoded.type) {
    case FrameType::Request: {
        Request r;
        good = decodeRequest(decoded, &r, &why);
        break;
    }
    case FrameType::Hello: {
        Hello hello;
        good = decodeHello(decoded, &hello, &why);
        break;
    }
    case FrameType::End: {
        Result result;
        good = decodeResult(decoded, &result, &why);
        break;
    }
    case FrameType::Error: {
        ErrorKind kind;
        std::string message;
        good = decodeError(decoded, &kind, &message, &why);
        break;
    }
    case FrameType::Cancel:
        good = decodeCancel(decoded, &why);
        break;
    case FrameType::Data: {
        Stream stream;
        std::string bytes;
        std::vector<Entry> entries;
        good = decodeData(decoded, &stream, &bytes, &why) && decodeEntries(bytes, &entries, &why);
        break;
    }
    default:
        QFAIL("no frame");
    }
    QVERIFY(!good);
    QVERIFY2(why.find(error.toStdString()) != std::string::npos, why.c_str());
}

void TestBridgeProtocol::handshake()
{
    Hello console;
    console.version = 2;
    console.software = "vell-admin-service 0.2";
    const std::string stream = encodeHello(console);
    Hello decoded;
    std::string error;
    QVERIFY2(decodeHello(frameOf(stream), &decoded, &error), error.c_str());
    QCOMPARE(decoded.version, 2u);
    QCOMPARE(decoded.software, console.software);
    QVERIFY(versionMismatch(Side::Bridge, ProtocolVersion, ProtocolVersion).empty());
    // Either side names both versions the same way.
    const std::string bridgeSays = versionMismatch(Side::Bridge, 1, decoded.version);
    const std::string consoleSays = versionMismatch(Side::Console, 2, 1);
    QCOMPARE(bridgeSays, consoleSays);
    QVERIFY2(bridgeSays.find("the console speaks version 2, the bridge version 1") !=
                 std::string::npos,
             bridgeSays.c_str());
    ErrorKind kind;
    std::string message;
    QVERIFY(decodeError(frameOf(encodeError(0, ErrorKind::Version, bridgeSays)), &kind, &message,
                        &error));
    QCOMPARE(int(kind), int(ErrorKind::Version));
    QCOMPARE(message, bridgeSays);
}

void TestBridgeProtocol::describe_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QString>("text");
    Request run = request(Operation::Run, "/usr/sbin/apache2ctl");
    run.arguments = {"-S", "-f", "/home/user/my site.conf"};
    QTest::newRow("blanks quoted")
        << run << "run /usr/sbin/apache2ctl -S -f \"/home/user/my site.conf\"";
    run.arguments = {std::string("a\0b", 3), "say \"hi\"\n", ""};
    QTest::newRow("NUL, quotes, control, empty")
        << run << "run /usr/sbin/apache2ctl \"a\\0b\" \"say \\\"hi\\\"\\n\" \"\"";
    Request remove = request(Operation::RemoveIn, "/var/spool/cups");
    remove.arguments = {"c00001", "../etc"};
    QTest::newRow("names of a removal") << remove << "remove-in /var/spool/cups c00001 ../etc";
    Request write = request(Operation::Write, "/etc/x\x1b[2J");
    write.content = "secret";
    QTest::newRow("terminal escape, no content") << write << "write \"/etc/x\\x1b[2J\"";
}

void TestBridgeProtocol::describe()
{
    QFETCH(Request, request);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(Bridge::describe(request)), text);
}

QTEST_MAIN(TestBridgeProtocol)
#include "tst_bridgeprotocol.moc"
