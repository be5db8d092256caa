#pragma once
// Line assembly for one connection: the hub's nine seats and the peer link
// all cut their byte streams into lines here.
//
// Wire format (every instance speaks only this):
//
//   line  := kind field LF
//   kind  := "u" name | "c" leave | "1" chat | "s" redirect   (wire.h)
//          | "n" next-address | "r" next-name          (one ASCII byte)
//          | "e" negotiation: only between two Pelmora instances, before
//            anything else on the link (negotiation.h); elsewhere, and to
//            an instance that does not know it, a line of unknown kind
//   field := zero or more CP932 bytes, no LF; a CR before the LF belongs to
//            the field (chat lines keep it; the redirect address drops it)
//
// A line is at most 1022 bytes before its LF; longer ones are not read as
// lines at all: a complete one is skipped, and a partial one that passes the
// limit is dropped together with everything up to and including its LF, so
// the tail of an overlong line is never taken for a line of another kind.
// NUL bytes are dropped as they arrive. The owner clears the buffer when its
// connection ends or is replaced, so no stale partial line precedes a
// newcomer's first.
//
// Reading goes straight into the buffer (Tail/Room), up to 16 KiB at once so
// that a busy connection costs few reads; lines are handed out in place as
// views, and the remainder (one partial line, or the lines held back for a
// later Resume) is moved to the front once per read.

#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>

// A chat line's field is nick + "> " + text + CR: the length of the nick,
// or npos when the field holds no "> " (a sender that does not follow the
// grammar; its whole field is then what it said).
inline size_t ChatFieldNickLength(std::string_view field)
{
    return field.find("> ");
}

class TLineBuffer {
public:
    static constexpr int kMaxLine = 1022; // bytes before the LF
    static constexpr int kReadSize = 16 * 1024;
    static constexpr int kSize = kReadSize + kMaxLine;

    TLineBuffer() : FBuf(new char[kSize]) { }

    // Where the next read goes and how many bytes it may bring (> 0).
    char* Tail() { return FBuf.get() + FLen; }
    int Room() const { return kSize - FLen; }

    // n bytes were just read into Tail(): hand every complete line (without
    // its LF, possibly empty) to onLine, in order, then call linesDone while
    // the views handed out are still valid. onLine may clear this buffer, or
    // even feed it again from a nested event loop; the loop re-reads its
    // indices after every call. A view handed to onLine is valid only until
    // linesDone returns or onLine lets other events run.
    //
    // An onLine that returns bool may refuse a line (false, with nothing
    // done): that line and every one after it stay in the buffer, and
    // Commit returns false; Resume hands them out later, and Waiting() is
    // true until then. The owner reads nothing more meanwhile (Room() may
    // be small).
    template <class F, class G>
    bool Commit(int n, F&& onLine, G&& linesDone)
    {
        Accept(n);
        return Resume(onLine, linesDone);
    }
    template <class F>
    bool Commit(int n, F&& onLine)
    {
        return Commit(n, onLine, [] {});
    }
    // Hands out the complete lines already held, as Commit does.
    template <class F, class G>
    bool Resume(F&& onLine, G&& linesDone)
    {
        std::string_view line;
        bool all = true;
        while (NextLine(line)) {
            if constexpr (std::is_same_v<decltype(onLine(line)), bool>) {
                if (!onLine(line)) {
                    FStart = static_cast<int>(line.data() - FBuf.get());
                    all = false;
                    break;
                }
            } else {
                onLine(line);
            }
        }
        FWaiting = !all;
        linesDone();
        Compact();
        return all;
    }

    void Clear()
    {
        FLen = 0;
        FStart = 0;
        FDropping = false;
        FWaiting = false;
    }

    int Len() const { return FLen - FStart; }
    bool Dropping() const { return FDropping; }
    // A line was refused and waits, with those after it, for Resume.
    bool Waiting() const { return FWaiting; }

private:
    void Accept(int n);
    bool NextLine(std::string_view& line);
    void Compact();

    std::unique_ptr<char[]> FBuf;
    int FLen = 0;           // bytes held, FBuf[0..FLen)
    int FStart = 0;         // start of the first unconsumed byte
    bool FDropping = false; // inside an overlong line: skip to its LF
    bool FWaiting = false;  // lines refused by onLine are held
};
