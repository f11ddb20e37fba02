#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// Asking other applications to quit the way their close buttons do: only an application with a
// window on this desktop can be asked, and it may ask to save first or refuse. No process is ever
// signalled.
class AppTerminator {
public:
    virtual ~AppTerminator() = default;
    // The applications with this desktop-entry id that have a window on this desktop, by pid.
    virtual std::vector<std::int32_t> applicationsWithBundleID(const std::string& bundleID) = 0;
    // Whether the pid owns a window on this desktop.
    virtual bool hasWindow(std::int32_t pid) = 0;
    // Asks each of its windows to close; false when it has none left or a request could not be sent.
    virtual bool closeWindows(std::int32_t pid) = 0;
};

}  // namespace velmora
