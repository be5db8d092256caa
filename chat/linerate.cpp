#include "linerate.h"

#include <algorithm>

void TLineRate::SetRate(int perSecond)
{
    FRate = std::max(perSecond, 0);
    Refill();
}

void TLineRate::fill(int64_t nowMs)
{
    if (FLast >= 0 && nowMs > FLast)
        FMilliLines = std::min(Capacity(), FMilliLines + (nowMs - FLast) * FRate);
    if (FLast < 0 || nowMs > FLast)
        FLast = nowMs;
}

bool TLineRate::Take(int64_t nowMs)
{
    if (FRate == 0)
        return true;
    fill(nowMs);
    if (FMilliLines < 1000)
        return false;
    FMilliLines -= 1000;
    return true;
}

int64_t TLineRate::Wait(int64_t nowMs)
{
    if (FRate == 0)
        return 0;
    fill(nowMs);
    if (FMilliLines >= 1000)
        return 0;
    return (1000 - FMilliLines + FRate - 1) / FRate;
}
