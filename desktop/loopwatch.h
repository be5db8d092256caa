#pragma once
// Opt-in record of long event-loop blocks, for the benchmark in bench/.
// With PELMORA_LOOP_LOG=FILE set, every event whose handling (outermost,
// nested dispatches included) takes 1 ms or more appends one line to FILE:
// the monotonic time in ns when it ended and its duration in µs. Unset,
// nothing is measured.

#include <cstdint>
#include <cstdio>

class TLoopWatch {
public:
    // Reads PELMORA_LOOP_LOG; returns whether watching is on.
    static bool Start();
    static bool On() { return FFile != nullptr; }
    // Around the outermost event dispatch.
    static int64_t Begin();
    static void End(int64_t begin);

private:
    static FILE* FFile;
};
