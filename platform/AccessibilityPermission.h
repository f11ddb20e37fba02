#pragma once

namespace velmora {

// Whether this process may read other apps' accessibility trees. On Linux that is the desktop's
// accessibility switch: the accessibility bus is enabled and answers.
class AccessibilityPermission {
public:
    virtual ~AccessibilityPermission() = default;
    // Reads the grant without asking the user.
    virtual bool isGranted() = 0;
    // Asks for the grant (on Linux: switches the desktop's accessibility on); returns whether it
    // is granted now.
    virtual bool request() = 0;
};

}  // namespace velmora
