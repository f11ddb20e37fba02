#include "engine/sampling/BrowserFamily.h"

#include <algorithm>
#include <array>

#include "engine/support/Text.h"

namespace velmora {

namespace {

using namespace std::string_view_literals;

constexpr std::array chromeIDs{"com.google.Chrome"sv, "com.google.Chrome.beta"sv, "com.google.Chrome.canary"sv,
                               "google-chrome"sv};
constexpr std::array safariIDs{"com.apple.Safari"sv};
constexpr std::array chromiumIDs{"chromium"sv};
constexpr std::array diaIDs{"company.thebrowser.dia"sv, "ai.diabrowser.dia"sv, "com.dia.browser"sv};
constexpr std::array braveIDs{"com.brave.Browser"sv, "brave-browser"sv};
constexpr std::array firefoxIDs{"org.mozilla.firefox"sv, "firefox-esr"sv};
constexpr std::array edgeIDs{"com.microsoft.edgemac"sv, "microsoft-edge"sv};
constexpr std::array arcIDs{"company.thebrowser.Browser"sv};
constexpr std::array operaIDs{"com.operasoftware.Opera"sv};
constexpr std::array vivaldiIDs{"com.vivaldi.Vivaldi"sv, "vivaldi-stable"sv};
constexpr std::array kagiIDs{"com.kagi.kagimacOS"sv};
constexpr std::array sigmaosIDs{"com.sigmaos.sigmaos.macos"sv};
constexpr std::array epiphanyIDs{"org.gnome.Epiphany"sv};

constexpr std::array chromeExecutables{"chrome"sv};
constexpr std::array chromiumExecutables{"chromium"sv, "chromium-browser"sv};
constexpr std::array braveExecutables{"brave"sv};
constexpr std::array firefoxExecutables{"firefox"sv, "firefox-esr"sv, "firefox-bin"sv};
constexpr std::array edgeExecutables{"msedge"sv};
constexpr std::array operaExecutables{"opera"sv};
constexpr std::array vivaldiExecutables{"vivaldi-bin"sv, "vivaldi"sv};

// Shipped by every browser and application built on Chromium, under the names Chromium gives
// them; "chrome_crashpad" is the kernel's 15-byte cut of the handler's name.
constexpr std::array chromiumSharedFiles{"chrome_crashpad_handler"sv, "chrome_crashpad"sv, "chrome-sandbox"sv,
                                         "chrome_sandbox"sv};

constexpr std::array families{
    BrowserFamily{"safari", "Safari", false, true, true, "webkit", {}, safariIDs},
    BrowserFamily{"chrome", "Google Chrome", false, true, true, {}, {}, chromeIDs, true, chromeExecutables},
    BrowserFamily{"chromium", "Chromium", false, true, true, {}, {}, chromiumIDs, true, chromiumExecutables},
    BrowserFamily{"dia", "Dia", true, true, true, {}, {}, diaIDs, true},
    BrowserFamily{"brave", "Brave", false, true, true, {}, {}, braveIDs, true, braveExecutables},
    BrowserFamily{"firefox", "Firefox", false, true, true, {}, {}, firefoxIDs, false, firefoxExecutables},
    BrowserFamily{"edge", "Microsoft Edge", true, true, true, "msedge", {}, edgeIDs, true, edgeExecutables},
    BrowserFamily{"arc", "Arc", true, true, true, {}, "thebrowser.browser", arcIDs, true},
    BrowserFamily{"opera", "Opera", false, false, false, {}, {}, operaIDs, true, operaExecutables},
    BrowserFamily{"vivaldi", "Vivaldi", false, false, false, {}, {}, vivaldiIDs, true, vivaldiExecutables},
    BrowserFamily{"kagi", "Kagi", false, false, false, {}, {}, kagiIDs},
    BrowserFamily{"sigmaos", "SigmaOS", false, false, false, {}, {}, sigmaosIDs},
    BrowserFamily{"epiphany", "Web", false, false, true, {}, {}, epiphanyIDs},
};

}  // namespace

std::span<const BrowserFamily> browserFamilies() { return families; }

const BrowserFamily* browserFamilyNamed(std::string_view word) {
    for (const auto& family : families)
        if (family.word == word) return &family;
    return nullptr;
}

bool mentionsFamily(std::string_view lowered, const BrowserFamily& family) {
    return family.wholeWord ? containsWholeWord(lowered, family.word) : contains(lowered, family.word);
}

bool namesFamily(std::string_view loweredName, const BrowserFamily& family) {
    if (mentionsFamily(loweredName, family))
        return family.word != "chrome" || !isChromiumSharedFile(loweredName);
    if (family.nameAlias.empty()) return false;
    return family.wholeWord ? containsWholeWord(loweredName, family.nameAlias) : contains(loweredName, family.nameAlias);
}

bool isChromiumSharedFile(std::string_view loweredName) {
    return std::find(chromiumSharedFiles.begin(), chromiumSharedFiles.end(), loweredName) != chromiumSharedFiles.end();
}

const BrowserFamily* browserProgram(std::string_view folder, std::string_view fileName) {
    for (const auto& family : families)
        for (const auto program : family.programs) {
            if (program != fileName) continue;
            // Chromium's own builds call their program "chrome" too (its snap does).
            if (family.word == "chrome" && contains(folder, "chromium")) return browserFamilyNamed("chromium");
            return &family;
        }
    return nullptr;
}

}  // namespace velmora
