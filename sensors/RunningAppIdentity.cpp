#include "sensors/RunningAppIdentity.h"

#include <string>

namespace velmora {

ProcessIdentity identityOf(const RunningApplication& app, std::string_view fallbackName) {
    ProcessIdentity identity;
    identity.displayName = app.localizedName ? *app.localizedName : std::string(fallbackName);
    identity.groupingKey = app.bundleIdentifier ? *app.bundleIdentifier : "name:" + identity.displayName;
    identity.bundleID = app.bundleIdentifier;
    identity.pids = {app.pid};
    return identity;
}

}  // namespace velmora
