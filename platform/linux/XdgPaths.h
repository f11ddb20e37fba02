#pragma once
#include <functional>
#include <optional>
#include <string>

#include "platform/Paths.h"

namespace velmora {

class XdgPaths final : public Paths {
public:
    using Env = std::function<std::optional<std::string>(const std::string&)>;
    XdgPaths();                      // reads the process environment
    explicit XdgPaths(Env env);      // for tests
    std::string applicationSupportDirectory() const override;
    std::string configDirectory() const override;

private:
    std::string resolve(const char* xdgVar, const char* homeSuffix, const char* tempName) const;
    Env env_;
};

}  // namespace velmora
