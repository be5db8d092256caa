#include "linebuffer.h"

#include <algorithm>

void TLineBuffer::Accept(int n)
{
    if (n <= 0)
        return;
    n = std::min(n, Room());
    char* p = FBuf + FLen;
    char* end = p + n;
    // NUL never belongs to a line: drop it, keep the rest.
    end = std::remove(p, end, '\0');
    if (FDropping) {
        char* lf = static_cast<char*>(std::memchr(p, '\n', end - p));
        if (!lf)
            return; // still inside the overlong line
        FDropping = false;
        std::memmove(p, lf + 1, end - (lf + 1));
        end -= (lf + 1) - p;
    }
    FLen = static_cast<int>(end - FBuf);
}

bool TLineBuffer::NextLine(std::string_view& line)
{
    if (FStart >= FLen)
        return false;
    const char* s = FBuf + FStart;
    const char* lf = static_cast<const char*>(std::memchr(s, '\n', FLen - FStart));
    if (!lf)
        return false;
    line = std::string_view(s, lf - s);
    FStart = static_cast<int>(lf + 1 - FBuf);
    return true;
}

void TLineBuffer::Compact()
{
    if (FStart > 0) {
        if (FStart < FLen)
            std::memmove(FBuf, FBuf + FStart, FLen - FStart);
        FLen = std::max(0, FLen - FStart);
        FStart = 0;
    }
    if (FLen >= kMaxHeld) {
        // 1023 bytes and no LF: the line cannot fit. Drop it to its LF.
        FLen = 0;
        FDropping = true;
    }
}
