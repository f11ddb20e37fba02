#pragma once
#include <cstdint>

namespace velmora {

// Before a window is first shown: asks the window manager to treat it as a utility window
// (_NET_WM_WINDOW_TYPE_UTILITY) and to show it on every workspace (_NET_WM_DESKTOP 0xFFFFFFFF).
// `display` is the toolkit's Xlib Display; nothing happens when it is null.
void markAsUtilityOnEveryWorkspace(void* display, std::uint64_t window);

}  // namespace velmora
