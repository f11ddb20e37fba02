#pragma once
#include <functional>
#include <mutex>
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
    std::string resolve(const char* xdgVar, const char* homeSuffix, const char* privateSuffix) const;
    // Without a home: a folder only this user can enter, made on first use and the same afterwards.
    const std::string& privateFolder() const;
    Env env_;
    mutable std::once_flag privateOnce_;
    mutable std::string private_;
};

}  // namespace velmora
