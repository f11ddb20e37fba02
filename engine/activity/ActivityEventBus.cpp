#include "engine/activity/ActivityEventBus.h"

#include <array>
#include <string>
#include <unordered_set>

#include "engine/activity/BrowserActivityAdapter.h"
#include "engine/sampling/BrowserFamily.h"
#include "engine/support/Utf8.h"

namespace velmora {

namespace {

const std::unordered_set<std::string_view>& sensitiveBundleIDs() {
    static const std::unordered_set<std::string_view> ids{
        "com.1password.1password", "com.1password.1password7", "com.agilebits.onepassword7",
        "com.lastpass.LastPass", "com.bitwarden.desktop", "com.dashlane.dashlanephonefinal",
        "com.apple.Passwords", "com.apple.Health", "com.apple.health", "com.apple.MobileSMS",
        "com.chase.sig.iphone",
        // Desktop-entry ids and window classes of Linux password and secret managers whose names
        // carry none of the words below.
        "org.keepassxc.KeePassXC", "KeePassXC", "org.gnome.World.Secrets", "org.kde.kwalletmanager5",
        "org.kde.kwalletmanager",
    };
    return ids;
}

constexpr std::array<std::string_view, 10> kSensitiveNameWords{
    "1password", "lastpass", "bitwarden", "dashlane", "keeper", "banking", "bank of", "health", "password", "keychain"};

// What Firefox and the Chromium-family browsers put in the title of a private window, in their most
// used interface languages; compared with the lower-cased title. German Firefox ("Privater Modus")
// and Italian Chromium ("in incognito") are caught by the English words.
constexpr auto kPrivateWindowWords = std::to_array<std::string_view>({
    "private", "incognito", "inprivate",
    "inkognito",                                                    // German Chromium
    "navigation privée",                                            // French
    "navegación privada", "incógnito",                              // Spanish
    "navigazione anonima",                                          // Italian Firefox
    "navegação privada", "navegação privativa", "navegação anônima", "navegação anónima",  // Portuguese
    "janela anônima", "janela anónima", "(anônima)", "(anónima)",
    "приватный просмотр", "приватное окно", "инкогнито",            // Russian
    "プライベートブラウジング", "プライベート ブラウジング", "(シークレット)", "シークレット モード",  // Japanese
    "隐私浏览", "隱私瀏覽", "无痕", "無痕",                          // Chinese
});

template <std::size_t N>
bool containsAny(const std::string& lowered, const std::array<std::string_view, N>& words) {
    for (auto word : words)
        if (lowered.find(word) != std::string::npos) return true;
    return false;
}

bool isPrivateWindow(std::optional<std::string_view> windowTitle) {
    return windowTitle && ActivityEventBus::isPrivateWindowTitle(*windowTitle);
}

}  // namespace

bool ActivityEventBus::isPrivateWindowTitle(std::string_view title) {
    return containsAny(utf8::lower(title), kPrivateWindowWords);
}

bool ActivityEventBus::hidesPrivateWindows(const ProcessIdentity& app) {
    if (app.isSelf) return false;
    const auto word = BrowserActivityAdapter::browserFamily(app);
    const BrowserFamily* family = word ? browserFamilyNamed(*word) : nullptr;
    return family && family->chromiumBased;
}

bool ActivityEventBus::isSensitive(const ProcessIdentity& app, std::optional<std::string_view> windowTitle) {
    if (app.isSelf) return false;
    if (app.bundleID && sensitiveBundleIDs().count(*app.bundleID) != 0) return true;
    if (containsAny(utf8::lower(app.displayName), kSensitiveNameWords)) return true;
    return isPrivateWindow(windowTitle);
}

bool ActivityEventBus::isSensitive(const std::optional<ProcessIdentity>& app,
                                   std::optional<std::string_view> windowTitle) {
    // A private window is private whether or not a sensor could tell which app owns it.
    if (!app) return isPrivateWindow(windowTitle);
    return isSensitive(*app, windowTitle);
}

bool ActivityEventBus::store(const ActivityEvent& event) {
    if (isSensitive(event.app, event.windowTitle)) return false;
    events_.push_back(event);
    // Removing from the front of a deque is constant time per event; nothing else moves.
    while (events_.size() > maxEvents) events_.pop_front();
    if (onChange) {
        // A copy, so a handler that replaces onChange does not destroy the running callable.
        const auto announce = onChange;
        announce();
    }
    return true;
}

void ActivityEventBus::publish(const ActivityEvent& event) {
    // The caller's event may live in our own list (republishing an old one); copy it before the
    // list changes so trimming cannot pull it away under us.
    const ActivityEvent accepted = event;
    if (!store(accepted)) return;
    if (onEvent) {
        const auto handler = onEvent;
        handler(accepted);
    }
}

void ActivityEventBus::publishSilently(const ActivityEvent& event) {
    const ActivityEvent accepted = event;
    store(accepted);
}

std::vector<ActivityEvent> ActivityEventBus::eventsSince(Date date) const {
    std::vector<ActivityEvent> out;
    for (const auto& e : events_)
        if (e.timestamp >= date) out.push_back(e);
    return out;
}

std::vector<ActivityEvent> ActivityEventBus::eventsBetween(Date start, Date end) const {
    std::vector<ActivityEvent> out;
    for (const auto& e : events_)
        if (e.timestamp >= start && e.timestamp <= end) out.push_back(e);
    return out;
}

}  // namespace velmora
