#pragma once
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The Chromium-family browsers Velmora knows, by program name, in the order they are tried.
const std::vector<std::string>& chromiumPrograms();

// The program of the default web browser when it is a Chromium-family one: `desktopId` is the
// desktop entry the desktop names as the https handler ("brave-browser.desktop").
std::optional<std::string> chromiumProgramForDesktopId(const std::string& desktopId);

// The https handler named under [Default Applications] of a mimeapps.list; none when absent.
std::optional<std::string> defaultHttpsHandler(const std::string& mimeappsList);

}  // namespace velmora
