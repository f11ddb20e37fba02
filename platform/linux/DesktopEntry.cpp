#include "platform/linux/DesktopEntry.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/support/Utf8.h"

namespace velmora {

namespace {

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string unescape(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
            case 's': out += ' '; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case '\\': out += '\\'; break;
            default:
                out += '\\';
                out += value[i];
        }
    }
    return out;
}

std::string asciiLower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c); });
    return out;
}

// The locale suffixes of a key to try, best first: lang_COUNTRY@MODIFIER, lang_COUNTRY,
// lang@MODIFIER, lang.
std::vector<std::string> localeCandidates(std::string_view locale) {
    std::string_view lang = locale;
    std::string_view modifier;
    if (const auto at = lang.find('@'); at != std::string_view::npos) {
        modifier = lang.substr(at + 1);
        lang = lang.substr(0, at);
    }
    if (const auto dot = lang.find('.'); dot != std::string_view::npos) lang = lang.substr(0, dot);
    std::string_view country;
    if (const auto underscore = lang.find('_'); underscore != std::string_view::npos) {
        country = lang.substr(underscore + 1);
        lang = lang.substr(0, underscore);
    }
    std::vector<std::string> out;
    if (lang.empty() || lang == "C" || lang == "POSIX") return out;
    const std::string base(lang);
    if (!country.empty() && !modifier.empty()) out.push_back(base + "_" + std::string(country) + "@" + std::string(modifier));
    if (!country.empty()) out.push_back(base + "_" + std::string(country));
    if (!modifier.empty()) out.push_back(base + "@" + std::string(modifier));
    out.push_back(base);
    return out;
}

}  // namespace

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text, std::string_view locale) {
    const auto candidates = localeCandidates(locale);
    std::map<std::string, std::string> names;  // locale suffix ("" for none) -> value
    std::optional<std::string> wmClass;
    bool inGroup = false;
    bool found = false;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = trimBlanks(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            if (found) break;  // the group ended
            inGroup = line == "[Desktop Entry]";
            found = inGroup;
            continue;
        }
        if (!inGroup) continue;
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = trimBlanks(line.substr(0, eq));
        const std::string value = utf8::sanitize(unescape(trimBlanks(line.substr(eq + 1))));
        if (key == "StartupWMClass") {
            if (!wmClass && !value.empty()) wmClass = value;
        } else if (key.substr(0, 4) == "Name" && (key.size() == 4 || key[4] == '[')) {
            std::string suffix;
            if (key.size() > 4) {
                if (key.back() != ']') continue;
                suffix = std::string(key.substr(5, key.size() - 6));
            }
            if (!value.empty()) names.try_emplace(suffix, value);
        }
    }
    if (!found) return std::nullopt;
    DesktopEntry entry;
    entry.startupWMClass = wmClass;
    for (const auto& candidate : candidates) {
        if (const auto it = names.find(candidate); it != names.end()) {
            entry.name = it->second;
            break;
        }
    }
    if (!entry.name) {
        if (const auto it = names.find(""); it != names.end()) entry.name = it->second;
    }
    return entry;
}

std::optional<std::string> desktopFileId(std::string_view relativePath) {
    constexpr std::string_view extension = ".desktop";
    if (relativePath.size() <= extension.size() || relativePath.substr(relativePath.size() - extension.size()) != extension)
        return std::nullopt;
    std::string id(relativePath.substr(0, relativePath.size() - extension.size()));
    while (!id.empty() && id.front() == '/') id.erase(0, 1);
    if (id.empty()) return std::nullopt;
    std::replace(id.begin(), id.end(), '/', '-');
    return id;
}

std::vector<std::string> applicationFolders(const char* dataHome, const char* home, const char* dataDirs) {
    std::vector<std::string> out;
    // Relative paths in these variables are invalid and ignored.
    if (dataHome && dataHome[0] == '/')
        out.push_back(std::string(dataHome) + "/applications");
    else if (home && home[0] == '/')
        out.push_back(std::string(home) + "/.local/share/applications");
    const std::string dirs = dataDirs && dataDirs[0] ? dataDirs : "/usr/local/share:/usr/share";
    std::size_t pos = 0;
    while (pos <= dirs.size()) {
        auto end = dirs.find(':', pos);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(pos, end - pos);
        pos = end + 1;
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        if (dir.empty() || dir.front() != '/') continue;
        std::string folder = dir + "/applications";
        if (std::find(out.begin(), out.end(), folder) == out.end()) out.push_back(std::move(folder));
    }
    return out;
}

std::string messagesLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* value : {lcAll, lcMessages, lang})
        if (value && value[0]) return value;
    return {};
}

std::optional<std::string> launchedDesktopFileId(std::string_view environment, int pid, bool pidRequired) {
    constexpr std::string_view fileKey = "GIO_LAUNCHED_DESKTOP_FILE=";
    constexpr std::string_view pidKey = "GIO_LAUNCHED_DESKTOP_FILE_PID=";
    std::optional<std::string_view> file;
    std::optional<std::string_view> launchedPid;
    std::size_t pos = 0;
    while (pos < environment.size()) {
        auto end = environment.find('\0', pos);
        if (end == std::string_view::npos) end = environment.size();
        const std::string_view item = environment.substr(pos, end - pos);
        pos = end + 1;
        if (item.substr(0, fileKey.size()) == fileKey) file = item.substr(fileKey.size());
        else if (item.substr(0, pidKey.size()) == pidKey) launchedPid = item.substr(pidKey.size());
    }
    if (!file || (launchedPid ? *launchedPid != std::to_string(pid) : pidRequired)) return std::nullopt;
    const auto slash = file->rfind('/');
    const std::string_view base = slash == std::string_view::npos ? *file : file->substr(slash + 1);
    auto id = desktopFileId(base);
    if (id) *id = utf8::sanitize(*id);
    return id;
}

void DesktopEntryIndex::add(DesktopEntry entry) {
    if (entries_.count(entry.id)) return;
    if (entry.startupWMClass) {
        byClass_.try_emplace(*entry.startupWMClass, entry.id);
        byLowerClass_.try_emplace(asciiLower(*entry.startupWMClass), entry.id);
    }
    std::string id = entry.id;
    entries_.emplace(std::move(id), std::move(entry));
}

void DesktopEntryIndex::load(const std::vector<std::string>& folders, std::string_view locale) {
    namespace fs = std::filesystem;
    entries_.clear();
    byClass_.clear();
    byLowerClass_.clear();
    for (const auto& folder : folders) {
        std::error_code ec;
        fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
        for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (!it->is_regular_file(ec)) continue;
            const auto relative = it->path().lexically_relative(folder).generic_string();
            const auto id = desktopFileId(relative);
            if (!id || entries_.count(*id)) continue;
            std::ifstream in(it->path(), std::ios::binary);
            if (!in) continue;
            std::ostringstream text;
            text << in.rdbuf();
            if (auto entry = parseDesktopEntry(text.str(), locale)) {
                entry->id = *id;
                add(std::move(*entry));
            }
        }
    }
}

const DesktopEntry* DesktopEntryIndex::byId(const std::string& id) const {
    const auto it = entries_.find(id);
    return it == entries_.end() ? nullptr : &it->second;
}

const DesktopEntry* DesktopEntryIndex::byWindowClass(const std::string& windowClass) const {
    auto it = byClass_.find(windowClass);
    if (it == byClass_.end()) {
        it = byLowerClass_.find(asciiLower(windowClass));
        if (it == byLowerClass_.end()) return nullptr;
    }
    return byId(it->second);
}

}  // namespace velmora
