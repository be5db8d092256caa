#include "linebuffer.h"

#include <algorithm>

void TLineBuffer::Accept(int n)
{
    if (n <= 0)
        return;
    n = std::min(n, Room());
    char* p = FBuf.get() + FLen;
    char* end = p + n;
    // NUL never belongs to a line: drop it, keep the rest.
    if (std::memchr(p, '\0', static_cast<size_t>(n)))
        end = std::remove(p, end, '\0');
    if (FDropping) {
        char* lf = static_cast<char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!lf)
            return; // still inside the overlong line
        FDropping = false;
        std::memmove(p, lf + 1, static_cast<size_t>(end - (lf + 1)));
        end -= (lf + 1) - p;
    }
    FLen = static_cast<int>(end - FBuf.get());
}

bool TLineBuffer::NextLine(std::string_view& line)
{
    for (;;) {
        if (FStart >= FLen)
            return false;
        const char* s = FBuf.get() + FStart;
        const char* lf = static_cast<const char*>(std::memchr(s, '\n', static_cast<size_t>(FLen - FStart)));
        if (!lf)
            return false;
        FStart = static_cast<int>(lf + 1 - FBuf.get());
        if (lf - s <= kMaxLine) {
            line = std::string_view(s, static_cast<size_t>(lf - s));
            return true;
        }
        // Longer than a line may be: not a line at all.
    }
}

void TLineBuffer::Compact()
{
    if (FStart > 0) {
        if (FStart < FLen)
            std::memmove(FBuf.get(), FBuf.get() + FStart, static_cast<size_t>(FLen - FStart));
        FLen = std::max(0, FLen - FStart);
        FStart = 0;
    }
    if (FLen > kMaxLine && !std::memchr(FBuf.get(), '\n', static_cast<size_t>(FLen))) {
        // Past the longest line and no LF: the line cannot fit. Drop it to its
        // LF. (Complete lines held back for Resume are kept, however long.)
        FLen = 0;
        FDropping = true;
    }
}
