#pragma once
// Desktop entries (.desktop files): what names an application on a Linux desktop.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct DesktopEntry {
    std::string id;                             // the desktop-file id, e.g. "org.gnome.TextEditor"
    std::optional<std::string> name;            // Name, in the best match for the locale
    std::optional<std::string> startupWMClass;  // the WM_CLASS its windows carry
    bool operator==(const DesktopEntry&) const = default;
};

// Reads the [Desktop Entry] group of a desktop file; other groups (actions) are ignored.
// `locale` is a POSIX locale name such as "de_AT.UTF-8@euro" (empty for none). Entries marked
// NoDisplay or Hidden still describe the application. Nothing when the group is missing.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view text, std::string_view locale);

// The desktop-file id of a path below an applications folder: "kde4/konsole.desktop" gives
// "kde4-konsole". Nothing for a file that is not a .desktop file.
std::optional<std::string> desktopFileId(std::string_view relativePath);

// The applications folders, most important first: $XDG_DATA_HOME (else ~/.local/share), then
// each of $XDG_DATA_DIRS (else /usr/local/share:/usr/share). Null arguments are unset variables.
std::vector<std::string> applicationFolders(const char* dataHome, const char* home, const char* dataDirs);

// The locale for names: LC_ALL, else LC_MESSAGES, else LANG, from the arguments (null = unset).
std::string messagesLocale(const char* lcAll, const char* lcMessages, const char* lang);

// The desktop-file id a launcher left in a process's environment (NUL-separated, as in
// /proc/N/environ): GIO_LAUNCHED_DESKTOP_FILE without folder and ".desktop". Children inherit
// the variable, so it counts only when GIO_LAUNCHED_DESKTOP_FILE_PID names `pid`; with
// `pidRequired` false, also when that one is unset.
std::optional<std::string> launchedDesktopFileId(std::string_view environment, int pid, bool pidRequired = false);

// Every desktop entry of the given folders; an id found in an earlier folder hides later ones.
class DesktopEntryIndex {
public:
    void load(const std::vector<std::string>& folders, std::string_view locale);
    void add(DesktopEntry entry);  // ignored when the id is already known

    const DesktopEntry* byId(const std::string& id) const;
    // The entry whose StartupWMClass equals the class, else one that matches ignoring ASCII case.
    const DesktopEntry* byWindowClass(const std::string& windowClass) const;
    bool empty() const { return entries_.empty(); }

private:
    std::map<std::string, DesktopEntry> entries_;
    std::map<std::string, std::string> byClass_;       // StartupWMClass -> id
    std::map<std::string, std::string> byLowerClass_;  // lower-cased StartupWMClass -> id
};

}  // namespace velmora
