#pragma once
// The script host of the object suites: the loop's time and a frame's are the test's to set.
#include "script/services.h"

#include <cstdint>

class TClockHost : public TScriptHost {
public:
    explicit TClockHost(uint32_t FrameMs = 0) : Tick(FrameMs) {}
    uint32_t LoopTime() override { return Clock; }
    uint32_t FrameTime() override { return Tick; }
    uint32_t Clock = 0, Tick;
};
