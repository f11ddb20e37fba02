#pragma once
#include "platform/Clock.h"

namespace velmora {

class FakeClock final : public Clock {
public:
    explicit FakeClock(Date start = Date{800000000.0}) : now_(start) {}
    Date now() const override { return now_; }
    void set(Date d) { now_ = d; }
    void advance(double seconds) { now_ += seconds; }

private:
    Date now_;
};

}  // namespace velmora
