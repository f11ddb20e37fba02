#pragma once
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/activity/ActivityEvent.h"
#include "platform/AccessibilityTree.h"

namespace velmora {

// An element whose attributes a test sets directly; an attribute it never set reads as absent.
struct FakeAccessible final : AccessibleElement {
    std::map<std::string, AccessibilityValue, std::less<>> attributes;

    FakeAccessible& set(const std::string& name, AccessibilityValue value) {
        attributes[name] = std::move(value);
        return *this;
    }
};
using FakeNode = std::shared_ptr<FakeAccessible>;

// An element of `role` holding `children`.
inline FakeNode fakeNode(std::string role, std::vector<FakeNode> children = {}) {
    auto node = std::make_shared<FakeAccessible>();
    node->set("AXRole", {std::move(role)});
    if (!children.empty()) node->set("AXChildren", {AccessibilityValue::Elements(children.begin(), children.end())});
    return node;
}

// `levels` plain groups stacked above `leaf`: the leaf ends up `levels` levels below the top one.
inline FakeNode fakeChain(int levels, FakeNode leaf) {
    for (int i = 0; i < levels; ++i) leaf = fakeNode("AXGroup", {leaf});
    return leaf;
}

// Apps by pid, each an application element; counts every attribute read.
class FakeAccessibilityTree final : public AccessibilityTree {
public:
    bool trusted = true;
    std::optional<RunningApplication> frontmost;
    std::map<std::int32_t, FakeNode> apps;
    int reads = 0;

    // Makes `pid` frontmost with an application element whose focused window is `window`.
    FakeNode show(RunningApplication app, FakeNode window) {
        frontmost = app;
        auto element = fakeNode("AXApplication");
        element->set("AXFocusedWindow", {AccessibleRef(window)});
        apps[app.pid] = element;
        return element;
    }

    bool isProcessTrusted() override { return trusted; }
    std::optional<RunningApplication> frontmostApplication() override { return frontmost; }
    AccessibleRef applicationElement(std::int32_t pid) override {
        const auto it = apps.find(pid);
        return it == apps.end() ? nullptr : it->second;
    }
    AccessibilityValue copyAttributeValue(const AccessibleRef& element, std::string_view attribute) override {
        ++reads;
        const auto* node = dynamic_cast<const FakeAccessible*>(element.get());
        if (!node) return {};
        const auto it = node->attributes.find(attribute);
        return it == node->attributes.end() ? AccessibilityValue{} : it->second;
    }
};

// An event as kind|title|url|detail|label, "-" for absent, so a table compares it byte for byte.
inline std::string eventLine(const ActivityEvent& e) {
    const auto opt = [](const std::optional<std::string>& s) { return s.value_or("-"); };
    return std::string(EnumNames<ActivityEventKind>::names[static_cast<int>(e.kind)]) + "|" + opt(e.windowTitle) + "|" +
           opt(e.urlString) + "|" + opt(e.detail) + "|" + opt(e.semanticLabel);
}

}  // namespace velmora
