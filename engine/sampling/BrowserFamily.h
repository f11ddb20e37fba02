#pragma once
// Every browser the system knows, in one table: grouping gathers the processes of some of them,
// the browser adapter recognises all of them, and the phrasing names them.
#include <span>
#include <string_view>

namespace velmora {

struct BrowserFamily {
    std::string_view word;         // the family word: "chrome", "safari", ...
    std::string_view displayName;  // "Google Chrome"
    // "dia", "arc" and "edge" are ordinary syllables ("media", "search", "knowledge"): whole words only.
    bool wholeWord = false;
    // Grouping gathers every process of the family under "family:" + word.
    bool grouped = false;
    // Its word in a name alone makes an app a browser (not "opera": "operator").
    bool namesBrowser = false;
    // A word that also names it in a process name ("webkit", "msedge"); empty when none.
    std::string_view nameAlias = {};
    // What marks it in a bundle identifier for grouping when that is not its word.
    std::string_view bundleWord = {};
    // Bundle identifiers, then Linux desktop-entry ids and process names.
    std::span<const std::string_view> bundleIDs = {};
    // Built on Chromium: its incognito windows carry the title and class of any other window.
    bool chromiumBased = false;
    // The file names of its program in the folder it is installed in ("/opt/brave.com/brave/brave").
    std::span<const std::string_view> programs = {};
};

// In the order grouping tests them.
std::span<const BrowserFamily> browserFamilies();
// The family of a family word; nothing for any other word.
const BrowserFamily* browserFamilyNamed(std::string_view word);
// `lowered` holds the family's word, as a whole word where the family asks for that.
bool mentionsFamily(std::string_view lowered, const BrowserFamily& family);
// ... or, being a process name, its other name too. Files that every browser and application
// built on Chromium ships under Chromium's own name ("chrome_crashpad_handler") name no family.
bool namesFamily(std::string_view loweredName, const BrowserFamily& family);
// One of those files: a crash handler or sandbox helper, no browser of its own.
bool isChromiumSharedFile(std::string_view loweredName);
// The browser whose program is the file `fileName` of `folder`; nothing for any other file.
const BrowserFamily* browserProgram(std::string_view folder, std::string_view fileName);

}  // namespace velmora
