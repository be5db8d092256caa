// The line assembler fed arbitrary chunks, as a socket would hand them over:
// each chunk is a length byte and up to that many bytes, of which only what
// fits (Room) is taken; the rest comes with the next read. The lines must be
// exactly those of a plain model of the wire rules, which also gives the
// invariants: no line longer than the limit, no NUL, no LF, a dropped line's
// tail never comes out, and the bytes out are a sub-sequence of the bytes in.
#include "linebuffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The shortest length that is no longer a line.
constexpr int kTooLong = TLineBuffer::kMaxLine + 1;

std::vector<std::string> model(const std::string& stream)
{
    std::vector<std::string> lines;
    std::string cur;
    bool dropping = false;
    for (char c : stream) {
        if (c == '\0')
            continue;
        if (dropping) {
            dropping = c != '\n';
            continue;
        }
        if (c == '\n') {
            lines.push_back(cur);
            cur.clear();
            continue;
        }
        cur.push_back(c);
        if (cur.size() >= static_cast<size_t>(kTooLong)) {
            cur.clear();
            dropping = true;
        }
    }
    return lines;
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The stream is every byte after the length bytes; the lengths only cut it.
    std::string stream;
    std::vector<size_t> chunks;
    for (size_t i = 0; i < size;) {
        size_t n = data[i++];
        n = n == 0 ? 1 : n * 5; // up to 1275: longer than a line, split anywhere
        n = std::min(n, size - i);
        stream.append(reinterpret_cast<const char*>(data + i), n);
        chunks.push_back(n);
        i += n;
    }

    static TLineBuffer b;
    b.Clear();
    std::vector<std::string> out;
    size_t pos = 0;
    for (size_t chunk : chunks) {
        size_t left = chunk;
        while (left > 0) {
            const int n = static_cast<int>(std::min<size_t>(left, static_cast<size_t>(b.Room())));
            check(n > 0);
            std::memcpy(b.Tail(), stream.data() + pos, static_cast<size_t>(n));
            b.Commit(n, [&](std::string_view line) {
                check(line.size() < static_cast<size_t>(kTooLong));
                check(line.find('\0') == std::string_view::npos);
                check(line.find('\n') == std::string_view::npos);
                out.emplace_back(line);
            });
            check(b.Len() >= 0 && b.Len() < kTooLong);
            pos += static_cast<size_t>(n);
            left -= static_cast<size_t>(n);
        }
    }
    check(out == model(stream));
    return 0;
}
