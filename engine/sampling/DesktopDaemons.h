#pragma once
// The Linux desktop's own daemons in one table: the ignore-list hides them and the categories
// count them as system.
#include <string_view>

namespace velmora {

// `lowerName` (a process or app name in lower case) is a display server, shell, sound server,
// message bus, portal, settings, indexing or input-method daemon, also when the kernel cut the
// name to 15 bytes. Ordinary apps with such words inside their names are not.
bool isDesktopDaemon(std::string_view lowerName);

}  // namespace velmora
