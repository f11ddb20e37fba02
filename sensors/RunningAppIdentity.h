#pragma once
#include <string_view>

#include "engine/sampling/ProcessIdentity.h"
#include "platform/DesktopSession.h"

namespace velmora {

// The identity a sensor gives the application it looks at: keyed by its desktop-entry id, else
// by "name:" and its name, else by "name:" and `fallbackName`. Never this application itself:
// the sensors leave it out before they get here.
ProcessIdentity identityOf(const RunningApplication& app, std::string_view fallbackName = "Unknown");

}  // namespace velmora
