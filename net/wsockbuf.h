#pragma once
// One block of the socket component's send queue: a fixed area of 1514
// bytes with a write position (bytes stored) and a read position (bytes
// already handed to the system). The unsent bytes lie between the two.

#include <memory>

class TBuffer {
public:
    static constexpr int kCapacity = 1514;

    TBuffer();
    TBuffer(const TBuffer&) = delete;
    TBuffer& operator=(const TBuffer&) = delete;

    // Append up to the room left; returns the number of bytes taken.
    int Write(const void* data, int len);
    // The unsent bytes: pointer and length, or nullptr and 0.
    const char* Peek(int& len) const;
    // Mark up to count bytes as sent; returns how many were.
    int Remove(int count);
    // Forget everything (both positions back to 0).
    void Clear() { FWrPos = FRdPos = 0; }

    int Size() const { return FBufSize; }
    int Unsent() const { return FWrPos - FRdPos; }

private:
    std::unique_ptr<char[]> FBuf;
    int FBufSize = kCapacity;
    int FWrPos = 0;
    int FRdPos = 0;
};
