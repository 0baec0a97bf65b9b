// libFuzzer target for the tail of a log: the first two bytes give the number of lines asked
// for and the byte bound, the third whether the data begins the file, the rest is the data.
// Nothing may crash; the tail is never longer than the bound; where the data begins the file
// and the lines fit, the tail is exactly the last lines (counted naively here) and not cut;
// a cut tail begins at a line start, or within one line longer than the bound.

#include <hostiofiles.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

/// The last @p count lines of @p data: each ends after its line feed, the last maybe without.
std::string lastLines(const std::string &data, std::size_t count)
{
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i == 0 || data[i - 1] == '\n')
            starts.push_back(i);
    }
    if (count == 0 || starts.empty())
        return std::string();
    return data.substr(starts[starts.size() - std::min(count, starts.size())]);
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    if (size < 3)
        return 0;
    const std::size_t lines = input[0];
    const std::size_t maxBytes = input[1];
    const bool atFileStart = input[2] & 1;
    const std::string data(reinterpret_cast<const char *>(input) + 3, size - 3);
    bool cut = false;
    const std::size_t start =
        hostio::tailStart(data.data(), data.size(), lines, maxBytes, atFileStart, &cut);
    check(start <= data.size());
    check(data.size() - start <= maxBytes);
    if (atFileStart) {
        const std::string expected = lastLines(data, lines);
        if (expected.size() <= maxBytes) {
            check(!cut);
            check(data.substr(start) == expected);
        } else {
            check(cut);
        }
    }
    if (cut && start > 0 && start < data.size() && data[start - 1] != '\n') {
        // Within one long line: no line begins anywhere in the tail.
        check(data.size() - start == maxBytes);
        check(data.find('\n', start) >= data.size() - 1);
    }
    return 0;
}
