#pragma once
#include "platform/ScriptRunner.h"

namespace velmora {

// Linux browsers offer no scripting of their tabs; the extension bridge is the way in instead.
class UnavailableScriptRunner final : public ScriptRunner {
public:
    bool isAvailable() const override { return false; }
    ScriptOutcome run(const std::string&) override {
        return {false, std::nullopt, "Browser scripting is not available on Linux."};
    }
};

}  // namespace velmora
