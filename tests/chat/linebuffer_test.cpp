// The line assembler on its own: framing, the 1023-byte limit, NUL bytes,
// re-entrant clearing, and any chunking of a stream giving the same lines.
#include "linebuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Feed data as a socket would: never more than Room() per read.
std::vector<std::string> feed(TLineBuffer& b, const std::string& data, size_t chunk = 4096)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t n = std::min({chunk, data.size() - pos, size_t(b.Room())});
        std::memcpy(b.Tail(), data.data() + pos, n);
        pos += n;
        b.Commit(int(n), [&](std::string_view l) { lines.emplace_back(l); });
    }
    return lines;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(LineBuffer, FramingAcrossReads)
{
    TLineBuffer b;
    // Two lines in one read, CR kept, empty line handed out as empty.
    EXPECT_EQ(feed(b, "uAlice\n1hi\r\n\n"), (Lines{"uAlice", "1hi\r", ""}));
    EXPECT_EQ(b.Len(), 0);
    // A line in three pieces is handed out once, when its LF arrives.
    EXPECT_EQ(feed(b, "1ab"), Lines{});
    EXPECT_EQ(feed(b, "cd"), Lines{});
    EXPECT_EQ(feed(b, "e\n1x"), Lines{"1abcde"});
    EXPECT_EQ(b.Len(), 2);
    // Clear forgets a partial line (a connection ended).
    b.Clear();
    EXPECT_EQ(feed(b, "uBob\n"), Lines{"uBob"});
}

TEST(LineBuffer, LongestLineFitsOverlongIsDroppedToItsLineFeed)
{
    TLineBuffer b;
    const std::string fits = "1" + std::string(1021, 'a'); // 1022 before LF
    EXPECT_EQ(feed(b, fits + "\n", 1), Lines{fits});

    // 1023 bytes and no LF: dropped, and its tail up to the LF is dropped
    // too, even when the tail looks like a line of another kind.
    const std::string tooLong = "1" + std::string(1022, 'b');
    EXPECT_EQ(feed(b, tooLong), Lines{});
    EXPECT_TRUE(b.Dropping());
    EXPECT_EQ(feed(b, "sevil\r"), Lines{});
    EXPECT_EQ(feed(b, "\n1next\n"), Lines{"1next"});
    EXPECT_FALSE(b.Dropping());

    // A huge line in one stream, followed by a good one.
    EXPECT_EQ(feed(b, std::string(100000, 'x') + "\nuC\n"), Lines{"uC"});
}

TEST(LineBuffer, NulBytesAreDropped)
{
    TLineBuffer b;
    EXPECT_EQ(feed(b, std::string("1a\0b\n\0\0u\0c\n", 11)), (Lines{"1ab", "uc"}));
    // A stream of NULs never fills the buffer.
    EXPECT_EQ(feed(b, std::string(5000, '\0') + "1z\n"), Lines{"1z"});
}

TEST(LineBuffer, HandlerMayClearTheBuffer)
{
    TLineBuffer b;
    std::memcpy(b.Tail(), "sX\n1after\n1more", 15);
    Lines seen;
    b.Commit(15, [&](std::string_view l) {
        seen.emplace_back(l);
        b.Clear(); // the connection ended inside the handler
    });
    EXPECT_EQ(seen, Lines{"sX"});
    EXPECT_EQ(b.Len(), 0);
    EXPECT_EQ(feed(b, "1fresh\n"), Lines{"1fresh"});
}

// Any chunking of a stream gives the same lines: every line of at most 1022
// bytes (after NULs are removed), nothing of longer ones.
TEST(LineBuffer, RandomChunkingMatchesReference)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 40; ++round) {
        std::string stream;
        Lines expected;
        for (int i = 0; i < 60; ++i) {
            int len = std::uniform_int_distribution<int>(0, 3)(rng) == 0
                ? std::uniform_int_distribution<int>(1000, 2500)(rng)
                : std::uniform_int_distribution<int>(0, 40)(rng);
            std::string raw, kept;
            for (int j = 0; j < len; ++j) {
                char c = char(std::uniform_int_distribution<int>(0, 255)(rng));
                if (c == '\n')
                    c = 'n';
                raw += c;
                if (c != '\0')
                    kept += c;
            }
            stream += raw + "\n";
            if (kept.size() <= 1022)
                expected.push_back(kept);
        }
        TLineBuffer b;
        Lines got;
        size_t pos = 0;
        while (pos < stream.size()) {
            size_t n = std::min<size_t>(
                {size_t(std::uniform_int_distribution<int>(1, 1500)(rng)), stream.size() - pos, size_t(b.Room())});
            std::memcpy(b.Tail(), stream.data() + pos, n);
            pos += n;
            b.Commit(int(n), [&](std::string_view l) { got.emplace_back(l); });
            ASSERT_GT(b.Room(), 0);
        }
        ASSERT_EQ(got, expected) << "round " << round;
    }
}
