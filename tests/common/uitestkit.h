#pragma once
// The widget part of the test kit: for ui and app tests only.
#include "waitcontrol.h"

namespace testkit {

// A wait control that counts its beeps instead of sounding them.
class TCountingWait : public TWait {
public:
    int Beeps = 0;

protected:
    void Beep() override { ++Beeps; }
};

} // namespace testkit
