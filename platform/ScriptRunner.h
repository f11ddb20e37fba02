#pragma once
#include <optional>
#include <string>

namespace velmora {

struct ScriptOutcome {
    bool succeeded = false;
    std::optional<std::string> output;  // the script's text result, when it has one
    std::optional<std::string> error;   // the message of a failure
    bool operator==(const ScriptOutcome&) const = default;
};

// Runs a browser-scripting query against a running browser, synchronously.
class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    // False where the desktop offers no way to script browsers; nothing should be run then.
    virtual bool isAvailable() const = 0;
    virtual ScriptOutcome run(const std::string& source) = 0;
};

}  // namespace velmora
