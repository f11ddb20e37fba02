#pragma once
// The real sampler over /proc with no desktop, driven one pass at a time.
#include <unistd.h>

#include <string>

#include "bench/BenchSupport.h"
#include "engine/sampling/MemorySampler.h"
#include "platform/linux/LinuxMemorySource.h"
#include "platform/linux/ProcfsProcessSource.h"
#include "platform/linux/X11DesktopSession.h"

namespace velmora {

struct Sampling {
    ProcfsProcessSource processes;
    X11DesktopSession desktop{std::string()};
    LinuxMemorySource memory;
    SteppingClock clock;
    IdleScheduler scheduler;
    MemorySampler sampler{processes, desktop, memory, scheduler, clock, SelfProcess{getpid(), std::nullopt}};

    void tick() {
        clock.step();
        sampler.tick();
    }
};

}  // namespace velmora
