#include "platform/linux/XdgPaths.h"

#include <cstdlib>
#include <filesystem>

namespace velmora {

XdgPaths::XdgPaths()
    : env_([](const std::string& name) -> std::optional<std::string> {
          const char* v = std::getenv(name.c_str());
          if (!v) return std::nullopt;
          return std::string(v);
      }) {}

XdgPaths::XdgPaths(Env env) : env_(std::move(env)) {}

std::string XdgPaths::resolve(const char* xdgVar, const char* homeSuffix, const char* tempName) const {
    // The XDG rules accept only absolute paths; a relative value is ignored.
    if (auto v = env_(xdgVar); v && !v->empty() && v->front() == '/') return *v + "/Velmora";
    if (auto home = env_("HOME"); home && !home->empty() && home->front() == '/') return *home + homeSuffix + "/Velmora";
    std::string temp = "/tmp";
    if (auto t = env_("TMPDIR"); t && !t->empty() && t->front() == '/') temp = *t;
    while (temp.size() > 1 && temp.back() == '/') temp.pop_back();
    return temp + "/" + tempName;
}

std::string XdgPaths::applicationSupportDirectory() const {
    return resolve("XDG_DATA_HOME", "/.local/share", "Velmora");
}

std::string XdgPaths::configDirectory() const { return resolve("XDG_CONFIG_HOME", "/.config", "Velmora-config"); }

}  // namespace velmora
