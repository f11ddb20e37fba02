#pragma once
#include <memory>
#include <string>

#include "platform/IdleTimeSource.h"

namespace velmora {

// Idle time from the XScreenSaver extension (every input device counts), on a connection of its own.
class X11IdleTimeSource final : public IdleTimeSource {
public:
    // $DISPLAY; none when it is unset.
    X11IdleTimeSource();
    // The given display; an empty name means none.
    explicit X11IdleTimeSource(std::string displayName);
    ~X11IdleTimeSource() override;
    X11IdleTimeSource(const X11IdleTimeSource&) = delete;
    X11IdleTimeSource& operator=(const X11IdleTimeSource&) = delete;

    std::optional<double> secondsSinceLastInput() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
