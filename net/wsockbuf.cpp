#include "wsockbuf.h"

#include <cstring>

TBuffer::TBuffer() : FBuf(new char[kCapacity]) { }

int TBuffer::Write(const void* data, int len)
{
    int room = FBufSize - FWrPos;
    if (room <= 0 || len <= 0)
        return 0;
    int n = len < room ? len : room;
    std::memcpy(FBuf.get() + FWrPos, data, static_cast<size_t>(n));
    FWrPos += n;
    return n;
}

const char* TBuffer::Peek(int& len) const
{
    int available = FWrPos - FRdPos;
    if (available <= 0) {
        len = 0;
        return nullptr;
    }
    len = available;
    return FBuf.get() + FRdPos;
}

int TBuffer::Remove(int count)
{
    int available = FWrPos - FRdPos;
    if (available <= 0 || count <= 0)
        return 0;
    int n = count < available ? count : available;
    FRdPos += n;
    if (FRdPos == FWrPos)
        FWrPos = FRdPos = 0;
    return n;
}
