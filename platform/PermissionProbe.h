#pragma once

namespace velmora {

// One system grant a sensor needs (accessibility, screen capture).
class PermissionProbe {
public:
    virtual ~PermissionProbe() = default;
    // Reads the grant without asking the user.
    virtual bool isGranted() const = 0;
    // Asks the system for it (may show a prompt); the answer is read again with isGranted.
    virtual void request() = 0;
};

}  // namespace velmora
