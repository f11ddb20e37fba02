#include "sensors/BrowserScriptingProbe.h"

#include <charconv>
#include <utility>

#include "engine/support/Text.h"
#include "engine/support/Utf8.h"
#include "sensors/PageLabel.h"
#include "sensors/RunningAppIdentity.h"

namespace velmora {

namespace {

std::string script(const std::string& appName, const char* query) {
    return "tell application \"" + appName + "\" to get " + query;
}

// The scripts of a browser of the Chrome family, of one that has no address or tab-count
// query, and of one that has no tab-count query.
BrowserScriptingProbe::Target chromeLike(std::set<std::string> names, std::vector<std::string> ids, std::string app) {
    return {std::move(names), std::move(ids), app, script(app, "title of active tab of front window"),
            script(app, "URL of active tab of front window"), script(app, "count of tabs of front window")};
}

BrowserScriptingProbe::Target titleOnly(std::set<std::string> names, std::vector<std::string> ids, std::string app) {
    return {std::move(names), std::move(ids), app, script(app, "name of front window"), std::nullopt, std::nullopt};
}

std::vector<BrowserScriptingProbe::Target> makeTargets() {
    auto safari = chromeLike({"safari"}, {"com.apple.Safari"}, "Safari");
    safari.titleScript = script("Safari", "name of front document");
    safari.urlScript = script("Safari", "URL of front document");
    auto arc = chromeLike({"arc"}, {"company.thebrowser.Browser"}, "Arc");
    arc.tabCountScript.reset();
    return {
        chromeLike({"google chrome", "chrome"}, {"com.google.Chrome"}, "Google Chrome"),
        std::move(safari),
        chromeLike({"brave browser", "brave"}, {"com.brave.Browser"}, "Brave Browser"),
        chromeLike({"microsoft edge", "edge"}, {"com.microsoft.edgemac"}, "Microsoft Edge"),
        std::move(arc),
        titleOnly({"firefox"}, {"org.mozilla.firefox"}, "Firefox"),
        titleOnly({"dia"}, {"dia", "thebrowser.dia"}, "Dia"),
        // The same browsers as Linux names them: process names and desktop-entry ids.
        chromeLike({"chromium"}, {"chromium"}, "Chromium"),
        chromeLike({"google-chrome"}, {"google-chrome"}, "Google Chrome"),
        chromeLike({"brave-browser"}, {"brave-browser"}, "Brave Browser"),
        chromeLike({"microsoft-edge"}, {"microsoft-edge"}, "Microsoft Edge"),
        titleOnly({"firefox-esr"}, {"firefox-esr"}, "Firefox"),
    };
}

// A whole decimal number with an optional sign; anything else is no count.
std::optional<int> parseCount(const std::optional<std::string>& output) {
    if (!output) return std::nullopt;
    const std::string text = utf8::trim(*output);
    std::string_view digits = text;
    const bool negative = !digits.empty() && digits.front() == '-';
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
    if (digits.empty()) return std::nullopt;
    for (const char c : digits)
        if (c < '0' || c > '9') return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return negative ? -value : value;
}

std::string decimal(int value) {
    char digits[16];
    return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

}  // namespace

BrowserScriptingProbe::BrowserScriptingProbe(ActivityEventBus& bus, Workspace& workspace, ScriptRunner& runner,
                                             Scheduler& scheduler, const Clock& clock, SelfProcess self)
    : bus_(bus),
      workspace_(workspace),
      runner_(runner),
      clock_(clock),
      self_(std::move(self)),
      timer_(scheduler),
      targets_(makeTargets()) {}

void BrowserScriptingProbe::start() {
    stop();
    // Nothing to ask where browsers cannot be scripted; a failure every second would only be noise.
    if (!runner_.isAvailable()) return;
    timer_.start(interval, [this] { poll(); });
    poll();
}

void BrowserScriptingProbe::stop() { timer_.stop(); }

const BrowserScriptingProbe::Target* BrowserScriptingProbe::targetFor(const RunningApplication& app) const {
    const std::string name = app.localizedName ? utf8::lower(*app.localizedName) : std::string();
    const std::string bundle = app.bundleIdentifier ? utf8::lower(*app.bundleIdentifier) : std::string();
    for (const auto& target : targets_) {
        if (target.processNames.count(name) != 0) return &target;
        // Whole words only: "nvidia-settings" is not the Dia browser, nor an archive utility Arc.
        for (const auto& part : target.bundleIDSubstrings)
            if (containsWholeWord(bundle, utf8::lower(part))) return &target;
        if (containsWholeWord(name, utf8::lower(target.appleScriptAppName))) return &target;
    }
    return nullptr;
}

void BrowserScriptingProbe::poll() {
    if (!runner_.isAvailable()) return;
    const auto front = workspace_.frontmostApplication();
    if (!front || front->pid == self_.pid) return;
    const Target* target = targetFor(*front);
    if (!target) return;

    const ScriptOutcome titleOutcome = runner_.run(target->titleScript);
    std::optional<std::string> url;
    if (target->urlScript) {
        auto outcome = runner_.run(*target->urlScript);
        if (outcome.succeeded) url = std::move(outcome.output);
    }
    std::optional<int> tabCount;
    if (target->tabCountScript) {
        const auto outcome = runner_.run(*target->tabCountScript);
        if (outcome.succeeded) tabCount = parseCount(outcome.output);
    }
    if (!titleOutcome.succeeded) {
        lastError_ = titleOutcome.error ? *titleOutcome.error : "Browser scripting error";
        return;
    }
    std::optional<std::string> title;
    if (titleOutcome.output) title = utf8::trim(*titleOutcome.output);
    const auto label = pageLabel(title, url, std::nullopt);
    if (!label || label->empty()) return;

    const ProcessIdentity identity = identityOf(*front, target->appleScriptAppName);
    // Tested before anything is kept: the sensor status shows what is remembered here.
    if (ActivityEventBus::isSensitive(identity, title ? *title : *label)) return;

    lastError_.reset();
    lastTitle_ = label;
    lastURL_ = url;
    lastAppName_ = identity.displayName;
    lastTabCount_ = tabCount;
    lastAt_ = clock_.now();

    const std::string fingerprint =
        identity.groupingKey + "|" + *label + "|" + url.value_or("") + "|" + decimal(tabCount.value_or(-1));
    if (fingerprint == lastFingerprint_) return;
    lastFingerprint_ = fingerprint;

    if (tabCount) {
        const auto previous = lastTabCountByApp_.find(identity.groupingKey);
        const std::optional<int> before =
            previous == lastTabCountByApp_.end() ? std::nullopt : std::optional<int>(previous->second);
        lastTabCountByApp_[identity.groupingKey] = *tabCount;
        if (before && *before != *tabCount)
            publish(ActivityEventKind::tabActivity, identity, *label, url,
                    std::string(*tabCount < *before ? "Closed tabs (" : "Opened tabs (") + decimal(*before) + "\u2192" +
                        decimal(*tabCount) + ")",
                    "tab_count");
    }
    publish(url ? ActivityEventKind::pageNavigated : ActivityEventKind::titleChanged, identity, *label, url, *label,
            "applescript_browser");
}

void BrowserScriptingProbe::publish(ActivityEventKind kind, const ProcessIdentity& app, const std::string& label,
                                    const std::optional<std::string>& url, std::string detail,
                                    std::string semanticLabel) {
    ActivityEvent event;
    event.id = Uuid::random();
    event.timestamp = clock_.now();
    event.kind = kind;
    event.app = app;
    event.windowTitle = label;
    event.urlString = url;
    event.detail = std::move(detail);
    event.semanticLabel = std::move(semanticLabel);
    bus_.publish(event);
}

}  // namespace velmora
