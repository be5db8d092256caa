#include "loopwatch.h"

#include <cstdio>
#include <cstdlib>
#include <time.h>

FILE* TLoopWatch::FFile = nullptr;

namespace {

constexpr int64_t kLongNs = 1000000; // 1 ms

int64_t monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

bool TLoopWatch::Start()
{
    const char* path = std::getenv("PELMORA_LOOP_LOG");
    if (!path || !*path || FFile)
        return FFile != nullptr;
    FFile = std::fopen(path, "we");
    return FFile != nullptr;
}

int64_t TLoopWatch::Begin()
{
    return monotonicNs();
}

void TLoopWatch::End(int64_t begin)
{
    const int64_t end = monotonicNs();
    if (end - begin < kLongNs)
        return;
    std::fprintf(FFile, "%lld %lld\n", static_cast<long long>(end), static_cast<long long>((end - begin) / 1000));
    std::fflush(FFile); // read while the program runs
}
