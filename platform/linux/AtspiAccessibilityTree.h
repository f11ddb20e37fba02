#pragma once
#include <memory>

#include "platform/AccessibilityTree.h"

namespace velmora {

class AccessibilityPermission;

// The accessibility tree over AT-SPI 2. An app's focused window is its active top-level window
// (else the newest one showing), and its focused element is taken at window granularity: that
// same window, so a dialog in front reads as focused. Titles are accessible names; "AXURL" and
// "AXDocument" are the document interface's "DocURL", else "URI"; "AXValue" is the text of a
// text element. Roles: document-web is "AXWebArea", entry and single-line editable text
// "AXTextField", page-tab-list "AXTabGroup", page-tab "AXRadioButton" (a tab button), dialog,
// alert and file-chooser "AXDialog"; every other role keeps its AT-SPI name.
//
// Every call is bounded: 250 ms per call, 150 ms of calls per application element handed out
// (one poll), and an app that timed out is not asked again for 5 s. Nothing touches the bus
// until `permission` grants it.
class AtspiAccessibilityTree final : public AccessibilityTree {
public:
    AtspiAccessibilityTree(DesktopSession& desktop, AccessibilityPermission& permission);
    ~AtspiAccessibilityTree() override;
    AtspiAccessibilityTree(const AtspiAccessibilityTree&) = delete;
    AtspiAccessibilityTree& operator=(const AtspiAccessibilityTree&) = delete;

    bool isProcessTrusted() override;
    std::optional<RunningApplication> frontmostApplication() override;
    AccessibleRef applicationElement(std::int32_t pid) override;
    AccessibilityValue copyAttributeValue(const AccessibleRef& element, std::string_view attribute) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
