#pragma once

namespace velmora {

// Whether the first-run sheet is due, and marking it done.
class FirstRunFlags {
public:
    virtual ~FirstRunFlags() = default;
    virtual bool shouldShow() const = 0;
    virtual void markCompleted() = 0;
    // The user keeps this build-folder build: the welcome sheet stops returning for it.
    virtual void dismissStableHint() = 0;
    // Whether this run is a build from the build folder rather than an installed copy.
    virtual bool isTemporaryBuild() const { return false; }
};

}  // namespace velmora
