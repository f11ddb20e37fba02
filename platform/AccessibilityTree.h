#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/DesktopSession.h"

namespace velmora {

// One element of an app's accessibility tree (an application, a window, a control). Opaque: only
// the tree that handed it out can read it.
class AccessibleElement {
public:
    virtual ~AccessibleElement() = default;
};
using AccessibleRef = std::shared_ptr<const AccessibleElement>;

// What reading one attribute gave: nothing (the read failed, timed out, gave no value or one of
// a type the sensors do not read), a text, one element or a list of elements.
struct AccessibilityValue {
    using Elements = std::vector<AccessibleRef>;
    std::variant<std::monostate, std::string, AccessibleRef, Elements> value;

    const std::string* text() const { return std::get_if<std::string>(&value); }
    AccessibleRef element() const {
        const auto* e = std::get_if<AccessibleRef>(&value);
        return e ? *e : nullptr;
    }
    const Elements* elements() const { return std::get_if<Elements>(&value); }
};

// The accessibility interface, in the attribute and role names the activity sensors use:
// "AXFocusedWindow", "AXTitle", "AXDocument", "AXURL", "AXFocusedUIElement", "AXRole",
// "AXChildren", "AXValue"; roles "AXWebArea", "AXTextField", "AXTabGroup", "AXRadioButton",
// "AXButton", "AXSheet", "AXDialog". A role with no such name reads as the platform's own name
// for it. Every call is synchronous and bounded in time; a slow app reads as absent.
class AccessibilityTree {
public:
    virtual ~AccessibilityTree() = default;
    // Whether the tree may be read at all (without asking the user).
    virtual bool isProcessTrusted() = 0;
    // The app that owns the active window; absent when there is none.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    // The application element of a process; null when the process has none.
    virtual AccessibleRef applicationElement(std::int32_t pid) = 0;
    virtual AccessibilityValue copyAttributeValue(const AccessibleRef& element, std::string_view attribute) = 0;
};

}  // namespace velmora
