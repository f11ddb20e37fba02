#pragma once
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/activity/ActivityEvent.h"
#include "platform/AccessibilityTree.h"

namespace velmora {

// An element whose attributes a test sets; one never set reads as absent.
struct FakeAccessible final : AccessibleElement {
    std::map<std::string, AccessibilityValue, std::less<>> attributes;
    void set(const std::string& name, AccessibilityValue value) { attributes[name] = std::move(value); }
};
using FakeNode = std::shared_ptr<FakeAccessible>;

inline FakeNode fakeNode(std::string role, std::vector<FakeNode> children = {}) {
    auto node = std::make_shared<FakeAccessible>();
    node->set("AXRole", {std::move(role)});
    if (!children.empty()) node->set("AXChildren", {AccessibilityValue::Elements(children.begin(), children.end())});
    return node;
}

// `leaf` under `levels` plain groups.
inline FakeNode fakeChain(int levels, FakeNode leaf) {
    for (int i = 0; i < levels; ++i) leaf = fakeNode("AXGroup", {leaf});
    return leaf;
}

// Application elements by pid; counts every attribute read.
class FakeAccessibilityTree final : public AccessibilityTree {
public:
    bool trusted = true;
    std::optional<RunningApplication> frontmost;
    std::map<std::int32_t, FakeNode> apps;
    int reads = 0;

    // `app` comes to the front with `window` focused; returns its application element.
    FakeNode show(RunningApplication app, FakeNode window) {
        frontmost = app;
        auto element = fakeNode("AXApplication");
        element->set("AXFocusedWindow", {AccessibleRef(window)});
        return apps[app.pid] = element;
    }

    bool isProcessTrusted() override { return trusted; }
    std::optional<RunningApplication> frontmostApplication() override { return frontmost; }
    AccessibleRef applicationElement(std::int32_t pid) override { return apps.count(pid) ? apps[pid] : nullptr; }
    AccessibilityValue copyAttributeValue(const AccessibleRef& element, std::string_view attribute) override {
        ++reads;
        const auto* node = dynamic_cast<const FakeAccessible*>(element.get());
        if (!node) return {};
        const auto it = node->attributes.find(attribute);
        return it == node->attributes.end() ? AccessibilityValue{} : it->second;
    }
};

// kind|title|url|detail|label, "-" for absent: an event a table can compare byte for byte.
inline std::string eventLine(const ActivityEvent& e) {
    const auto opt = [](const std::optional<std::string>& s) { return s.value_or("-"); };
    return std::string(EnumNames<ActivityEventKind>::names[static_cast<int>(e.kind)]) + "|" + opt(e.windowTitle) + "|" +
           opt(e.urlString) + "|" + opt(e.detail) + "|" + opt(e.semanticLabel);
}

}  // namespace velmora
