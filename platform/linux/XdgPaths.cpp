#include "platform/linux/XdgPaths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace velmora {

namespace {

bool isAbsolute(const std::optional<std::string>& v) { return v && !v->empty() && v->front() == '/'; }

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// Makes the folder when it is missing. True only for a real folder (not a link to one) of this
// user that no one else may enter: a name in a shared folder may have been planted by another user.
bool ownPrivateFolder(const std::string& path) {
    const bool made = ::mkdir(path.c_str(), 0700) == 0;
    if (!made && errno != EEXIST) return false;
    if (made) ::chmod(path.c_str(), 0700);  // the umask may have taken the owner's bits too
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 0777) == 0700;
}

}  // namespace

XdgPaths::XdgPaths()
    : env_([](const std::string& name) -> std::optional<std::string> {
          const char* v = std::getenv(name.c_str());
          if (!v) return std::nullopt;
          return std::string(v);
      }) {}

XdgPaths::XdgPaths(Env env) : env_(std::move(env)) {}

std::string XdgPaths::resolve(const char* xdgVar, const char* homeSuffix, const char* privateSuffix) const {
    // The XDG rules accept only absolute paths; a relative value is ignored.
    if (auto v = env_(xdgVar); isAbsolute(v)) return *v + "/Velmora";
    if (auto home = env_("HOME"); isAbsolute(home)) return *home + homeSuffix + "/Velmora";
    return privateFolder() + privateSuffix;
}

const std::string& XdgPaths::privateFolder() const {
    std::call_once(privateOnce_, [this] {
        std::string temp = "/tmp";
        if (auto t = env_("TMPDIR"); isAbsolute(t)) temp = withoutTrailingSlashes(*t);
        const std::string perUser = temp + "/Velmora-" + std::to_string(::geteuid());
        std::vector<std::string> candidates;
        if (auto runtime = env_("XDG_RUNTIME_DIR"); isAbsolute(runtime))
            candidates.push_back(withoutTrailingSlashes(*runtime) + "/Velmora");
        candidates.push_back(perUser);
        for (const auto& candidate : candidates) {
            if (ownPrivateFolder(candidate)) {
                private_ = candidate;
                return;
            }
        }
        // Every usual name is taken by something we cannot trust: a fresh folder of our own.
        std::string fresh = perUser + "-XXXXXX";
        ::mkdtemp(fresh.data());
        private_ = fresh;
    });
    return private_;
}

std::string XdgPaths::applicationSupportDirectory() const {
    return resolve("XDG_DATA_HOME", "/.local/share", "");
}

std::string XdgPaths::configDirectory() const { return resolve("XDG_CONFIG_HOME", "/.config", "/config"); }

}  // namespace velmora
