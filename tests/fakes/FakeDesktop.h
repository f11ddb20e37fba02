#pragma once
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/IdleTimeSource.h"
#include "platform/ScriptRunner.h"
#include "platform/WindowList.h"
#include "platform/Workspace.h"

namespace velmora {

// A workspace whose front application and notifications the test sets; `deliver` calls the
// observers of one notification at once.
class FakeWorkspace final : public Workspace {
public:
    std::optional<RunningApplication> frontmostApplication() override { return frontmost; }
    ObserverId addObserver(WorkspaceNotification name, Handler handler) override {
        observers.emplace(nextId, std::pair{name, std::move(handler)});
        return nextId++;
    }
    void removeObserver(ObserverId id) override { observers.erase(id); }

    void deliver(WorkspaceNotification name, const std::optional<RunningApplication>& app) {
        const auto current = observers;  // a handler may change the observers
        for (const auto& [id, observer] : current)
            if (observer.first == name) observer.second(app);
    }

    std::optional<RunningApplication> frontmost;
    std::map<ObserverId, std::pair<WorkspaceNotification, Handler>> observers;

private:
    ObserverId nextId = 1;
};

class FakeWindowList final : public WindowList {
public:
    std::vector<ListedWindow> windows() override { return list; }
    std::vector<ListedWindow> list;
};

class FakeIdleTimeSource final : public IdleTimeSource {
public:
    std::optional<double> secondsSinceLastInput() override {
        ++reads;
        return idle;
    }
    std::optional<double> idle = 0.0;
    int reads = 0;
};

// Answers each script from `answers`; a script it has no answer for fails.
class FakeScriptRunner final : public ScriptRunner {
public:
    bool isAvailable() const override { return available; }
    ScriptOutcome run(const std::string& source) override {
        ran.push_back(source);
        const auto it = answers.find(source);
        return it != answers.end() ? it->second : ScriptOutcome{false, std::nullopt, "no answer"};
    }
    bool available = true;
    std::map<std::string, ScriptOutcome> answers;
    std::vector<std::string> ran;
};

}  // namespace velmora
