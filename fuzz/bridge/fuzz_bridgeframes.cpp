// libFuzzer target for the bridge's frame decoder and message decoders: the input is a byte
// stream as the console (or anyone who can write to the bridge's stdin) sends it; its first
// byte picks the sizes of the chunks it arrives in. Nothing may crash or read past what it was
// given; cut into chunks or whole, the stream gives the same frames and the same verdict; no
// frame is over the limit; and every frame a message decoder takes encodes back to the very
// same bytes, so there is exactly one way to write each message.

#include <bridgeprotocol.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using namespace Bridge;

namespace {

struct Outcome
{
    std::vector<Frame> frames;
    FrameDecoder::Status status = FrameDecoder::NeedMore;
    std::string error;
};

Outcome decode(const char *data, size_t size, size_t chunk)
{
    Outcome outcome;
    FrameDecoder decoder;
    size_t at = 0;
    while (at < size && decoder.status() != FrameDecoder::Failed) {
        const size_t end = std::min(size, at + chunk);
        while (at < end) {
            const size_t taken = decoder.feed(data + at, end - at);
            if (taken > end - at)
                __builtin_trap();
            at += taken;
            if (decoder.status() == FrameDecoder::FrameReady)
                outcome.frames.push_back(decoder.takeFrame());
            else if (decoder.status() == FrameDecoder::Failed)
                break;
            else if (at < end)
                __builtin_trap(); // it stopped taking bytes without a reason
        }
    }
    outcome.status = decoder.endOfStream();
    outcome.error = decoder.error();
    if ((outcome.status == FrameDecoder::Failed) == outcome.error.empty())
        __builtin_trap();
    return outcome;
}

std::string encoded(const Frame &frame)
{
    std::string bytes;
    if (!appendFrame(&bytes, frame.type, frame.id, frame.payload))
        __builtin_trap();
    return bytes;
}

void checkMessage(const Frame &frame)
{
    if (frame.payload.size() + FrameHeaderBytes > MaxFrameBytes)
        __builtin_trap();
    const std::string original = encoded(frame);
    std::string error;
    std::string again;
    switch (frame.type) {
    case FrameType::Hello: {
        Hello hello;
        if (!decodeHello(frame, &hello, &error))
            break;
        // A longer software text is cut when sent: nothing to compare.
        if (hello.software.size() > 1024)
            return;
        again = encodeHello(hello);
        break;
    }
    case FrameType::Request: {
        Request request;
        if (decodeRequest(frame, &request, &error)) {
            if (!encodeRequest(frame.id, request, &again, &error))
                __builtin_trap();
            if (describe(request).size() > 8192)
                __builtin_trap();
        }
        break;
    }
    case FrameType::Cancel:
        if (decodeCancel(frame, &error))
            again = encodeCancel(frame.id);
        break;
    case FrameType::Data: {
        Stream stream;
        std::string bytes;
        if (!decodeData(frame, &stream, &bytes, &error))
            break;
        if (stream != Stream::Entries && stream != Stream::Unremoved) {
            appendData(&again, frame.id, stream, bytes.data(), bytes.size());
            break;
        }
        std::vector<Entry> entries;
        if (decodeEntries(bytes, &entries, &error)) {
            for (const Entry &entry : entries) {
                if (entry.name.size() > MaxPayloadBytes / 2)
                    return;
            }
            appendEntries(&again, frame.id, stream, entries);
        }
        break;
    }
    case FrameType::End: {
        Result result;
        if (decodeResult(frame, &result, &error))
            again = encodeResult(frame.id, result);
        break;
    }
    case FrameType::Error: {
        ErrorKind kind;
        std::string message;
        if (decodeError(frame, &kind, &message, &error))
            again = encodeError(frame.id, kind, message);
        break;
    }
    }
    if (!again.empty() && again != original)
        __builtin_trap();
    if (again.empty() && error.empty())
        __builtin_trap(); // refused without saying why
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t chunk = data[0] % 16 + 1;
    const char *stream = reinterpret_cast<const char *>(data) + 1;
    const Outcome chunked = decode(stream, size - 1, chunk);
    const Outcome whole = decode(stream, size - 1, size);
    if (chunked.status != whole.status || chunked.error != whole.error ||
        chunked.frames.size() != whole.frames.size())
        __builtin_trap();
    for (size_t i = 0; i < whole.frames.size(); ++i) {
        if (encoded(chunked.frames[i]) != encoded(whole.frames[i]))
            __builtin_trap();
        checkMessage(whole.frames[i]);
    }
    return 0;
}
