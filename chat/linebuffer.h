#pragma once
// Line assembly for one connection: the hub's nine seats and the peer link
// all cut their byte streams into lines here.
//
// Wire format (every instance speaks only this):
//
//   line  := kind field LF
//   kind  := "u" name | "c" leave | "1" chat | "s" redirect
//          | "n" next-address | "r" next-name          (one ASCII byte)
//   field := zero or more CP932 bytes, no LF; a CR before the LF belongs to
//            the field (chat lines keep it; the redirect address drops it)
//
// A receiver holds at most 1023 unprocessed bytes per connection, so a line
// is at most 1022 bytes before its LF. What does not fit is not read as a
// line at all: once 1023 bytes are held without an LF they are dropped, and
// everything up to and including the next LF is dropped too, so the tail of
// an overlong line is never taken for a line of another kind. NUL bytes are
// dropped as they arrive. The owner clears the buffer when its connection
// ends or is replaced, so no stale partial line precedes a newcomer's first.
//
// Reading goes straight into the buffer (Tail/Room), lines are handed out in
// place as views, and the remainder is moved to the front once per read.

#include <cstring>
#include <string_view>

class TLineBuffer {
public:
    static constexpr int kSize = 1024;      // the buffer, as on the wire side
    static constexpr int kMaxHeld = kSize - 1;

    // Where the next read goes and how many bytes it may bring (> 0).
    char* Tail() { return FBuf + FLen; }
    int Room() const { return kMaxHeld - FLen; }

    // n bytes were just read into Tail(): hand every complete line (without
    // its LF, possibly empty) to onLine, in order. onLine may clear this
    // buffer, or even feed it again from a nested event loop; the loop
    // re-reads its indices after every call. A view handed to onLine is valid
    // only until onLine lets other events run.
    template <class F>
    void Commit(int n, F&& onLine)
    {
        Accept(n);
        std::string_view line;
        while (NextLine(line))
            onLine(line);
        Compact();
    }

    void Clear()
    {
        FLen = 0;
        FStart = 0;
        FDropping = false;
    }

    int Len() const { return FLen - FStart; }
    bool Dropping() const { return FDropping; }

private:
    void Accept(int n);
    bool NextLine(std::string_view& line);
    void Compact();

    char FBuf[kSize] = {};
    int FLen = 0;      // bytes held, FBuf[0..FLen)
    int FStart = 0;    // start of the first unconsumed byte
    bool FDropping = false; // inside an overlong line: skip to its LF
};
