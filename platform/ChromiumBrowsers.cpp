#include "platform/ChromiumBrowsers.h"

#include <sstream>

namespace velmora {

namespace {

struct Known {
    const char* desktopId;
    const char* program;
};

// Desktop entries of the usual packages and the program each starts.
constexpr Known known[] = {
    {"google-chrome", "google-chrome"},     {"google-chrome-stable", "google-chrome-stable"},
    {"chromium", "chromium"},               {"chromium-browser", "chromium-browser"},
    {"brave-browser", "brave-browser"},     {"microsoft-edge", "microsoft-edge"},
    {"microsoft-edge-stable", "microsoft-edge-stable"}, {"vivaldi-stable", "vivaldi"},
    {"opera", "opera"},
};

std::string trimmed(std::string s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

}  // namespace

const std::vector<std::string>& chromiumPrograms() {
    static const std::vector<std::string> programs = [] {
        std::vector<std::string> out;
        for (const auto& k : known) out.emplace_back(k.program);
        return out;
    }();
    return programs;
}

std::optional<std::string> chromiumProgramForDesktopId(const std::string& desktopId) {
    std::string id = trimmed(desktopId);
    if (id.ends_with(".desktop")) id.resize(id.size() - 8);
    for (const auto& k : known)
        if (id == k.desktopId) return std::string(k.program);
    return std::nullopt;
}

std::optional<std::string> defaultHttpsHandler(const std::string& mimeappsList) {
    std::istringstream lines(mimeappsList);
    bool inDefaults = false;
    for (std::string line; std::getline(lines, line);) {
        line = trimmed(line);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inDefaults = line == "[Default Applications]";
            continue;
        }
        if (!inDefaults) continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos || trimmed(line.substr(0, equals)) != "x-scheme-handler/https") continue;
        // A list: the first entry is the one used.
        std::string value = trimmed(line.substr(equals + 1));
        if (const auto semicolon = value.find(';'); semicolon != std::string::npos) value.resize(semicolon);
        value = trimmed(value);
        if (value.empty()) return std::nullopt;
        return value;
    }
    return std::nullopt;
}

}  // namespace velmora
