#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/IdleTimeSource.h"
#include "platform/ScriptRunner.h"
#include "platform/WindowList.h"
#include "platform/Workspace.h"

namespace velmora {

// The test sets the front application; `deliver` calls the observers of one notification at once.
class FakeWorkspace final : public Workspace {
public:
    std::optional<RunningApplication> frontmostApplication() override { return frontmost; }
    ObserverId addObserver(WorkspaceNotification name, Handler handler) override {
        observers.emplace(++lastId_, std::pair{name, std::move(handler)});
        return lastId_;
    }
    void removeObserver(ObserverId id) override { observers.erase(id); }
    void deliver(WorkspaceNotification name, const std::optional<RunningApplication>& app) {
        for (const auto& [id, observer] : std::map(observers))  // a copy: handlers may change the observers
            if (observer.first == name) observer.second(app);
    }

    std::optional<RunningApplication> frontmost;
    std::map<ObserverId, std::pair<WorkspaceNotification, Handler>> observers;

private:
    ObserverId lastId_ = 0;
};

struct FakeWindowList final : WindowList {
    std::vector<ListedWindow> windows() override { return list; }
    std::vector<ListedWindow> list;
};

struct FakeIdleTimeSource final : IdleTimeSource {
    std::optional<double> secondsSinceLastInput() override { return ++reads, idle; }
    std::optional<double> idle = 0.0;
    int reads = 0;
};

// Answers each script from `answers`; a script without an answer fails with "no answer".
struct FakeScriptRunner final : ScriptRunner {
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
