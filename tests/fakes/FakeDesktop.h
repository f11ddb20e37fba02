#pragma once
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/activity/ActivityEvent.h"
#include "platform/AccessibilityTree.h"
#include "platform/IdleTimeSource.h"
#include "platform/ScriptRunner.h"
#include "platform/WindowList.h"
#include "platform/Workspace.h"

namespace velmora {

// The test sets the front application; `deliver` calls the observers of one notification at once.
struct FakeWorkspace final : Workspace {
    std::optional<RunningApplication> frontmostApplication() override { return frontmost; }
    ObserverId addObserver(WorkspaceNotification name, Handler handler) override {
        observers.emplace(++lastId, std::pair{name, std::move(handler)});
        return lastId;
    }
    void removeObserver(ObserverId id) override { observers.erase(id); }
    void deliver(WorkspaceNotification name, const std::optional<RunningApplication>& app) {
        for (const auto& [id, observer] : std::map(observers))  // a copy: handlers may change the observers
            if (observer.first == name) observer.second(app);
    }

    std::optional<RunningApplication> frontmost;
    std::map<ObserverId, std::pair<WorkspaceNotification, Handler>> observers;
    ObserverId lastId = 0;
};

struct FakeWindowList final : WindowList {
    std::vector<ListedWindow> windows() override { return list; }
    std::vector<ListedWindow> list;
};

struct FakeIdleTimeSource final : IdleTimeSource {
    std::optional<double> secondsSinceLastInput() override { return idle; }
    std::optional<double> idle = 0.0;
};

// Answers each script from `answers`; a script without an answer fails with "no answer".
struct FakeScriptRunner final : ScriptRunner {
    bool isAvailable() const override { return available; }
    ScriptOutcome run(const std::string& source) override {
        ++runs;
        const auto it = answers.find(source);
        return it != answers.end() ? it->second : ScriptOutcome{false, std::nullopt, "no answer"};
    }
    bool available = true;
    std::map<std::string, ScriptOutcome> answers;
    int runs = 0;
};

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

// Application elements by pid; counts every attribute read.
struct FakeAccessibilityTree final : AccessibilityTree {
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

// kind|app key|title|url|detail|label, "-" for absent: an event a table can compare byte for byte.
inline std::string eventLine(const ActivityEvent& e) {
    const auto opt = [](const std::optional<std::string>& s) { return s.value_or("-"); };
    return std::string(EnumNames<ActivityEventKind>::names[static_cast<int>(e.kind)]) + "|" +
           (e.app ? e.app->groupingKey : "-") + "|" + opt(e.windowTitle) + "|" + opt(e.urlString) + "|" +
           opt(e.detail) + "|" + opt(e.semanticLabel);
}

}  // namespace velmora
