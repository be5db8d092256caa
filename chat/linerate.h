#pragma once
// The line rate of one seat, a token bucket: a seat may send a burst of
// 3 × N lines, then N lines a second. A seat over its rate is not read
// until its next line is due (the hub holds its socket; TCP keeps the
// rest), so nothing it sends is lost. N = 0: no limit.
//
//   TLineRate rate(10);
//   if (!rate.Take(nowMs)) hold the seat for rate.Wait(nowMs) ms

#include <cstdint>

class TLineRate {
public:
    static constexpr int kBurstSeconds = 3;

    explicit TLineRate(int perSecond = 0) { SetRate(perSecond); }
    // A new rate, with a full bucket (also for a new occupant of the seat).
    void SetRate(int perSecond);
    void Refill()
    {
        FMilliLines = Capacity();
        FLast = -1;
    }
    bool Limited() const { return FRate > 0; }
    int Rate() const { return FRate; }

    // Take one line at nowMs (a monotonic clock); false, taking nothing,
    // when the seat has to wait.
    bool Take(int64_t nowMs);
    // Milliseconds until the next line may be taken; 0 when it may now.
    int64_t Wait(int64_t nowMs);

private:
    int64_t Capacity() const { return int64_t(FRate) * kBurstSeconds * 1000; }
    void fill(int64_t nowMs);

    int FRate = 0;
    int64_t FMilliLines = 0; // thousandths of a line in the bucket
    int64_t FLast = -1;      // when it was last filled
};
