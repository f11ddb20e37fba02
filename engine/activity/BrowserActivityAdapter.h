#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/activity/AppAdapter.h"
#include "engine/sampling/ProcessIdentity.h"

namespace velmora {

// Reads web-browser events: the site, whether a video is likely playing, whether the user navigated.
// Also names the browser family of any process, so a browser's helpers count as the browser.
class BrowserActivityAdapter final : public AppAdapter {
public:
    std::string_view familyName() const override { return "browser"; }
    bool handles(const ActivityEvent& event) const override { return isBrowser(event.app); }
    std::vector<StructuredSignal> signals(const ActivityEvent& event, const SamplingContext& context) const override {
        return signalsForEvent(event, context);
    }

    static bool isBrowser(const std::optional<ProcessIdentity>& app);
    // The family word ("chrome", "safari", "chromium", ...), or none for a non-browser.
    static std::optional<std::string> browserFamily(const ProcessIdentity& identity);
    // Firefox's content and service processes on Linux ("Web Content", "RDD Process", ...): the
    // whole name, in any letter case.
    static bool isFirefoxContentProcess(std::string_view name);

    static std::vector<StructuredSignal> signalsForEvent(const ActivityEvent& event, const SamplingContext& context);
    // The semantic activity event of a signal; none for a signal name it does not know.
    static std::optional<ActivityEvent> makeEvent(const StructuredSignal& signal, const ActivityEvent& source);

    // The title without the browser's name at its end (" - Chromium", " \u2014 Mozilla Firefox", ...).
    static std::string_view withoutBrowserSuffix(std::string_view title);
    // Drops a trailing browser name, shortens to 100 characters and trims.
    static std::string cleanTitle(std::string_view title);
    // The host of a well-known service named in the title.
    static std::optional<std::string> siteFromTitle(std::string_view title);
    static bool isYouTube(std::string_view title, std::string_view address);
    static bool isMediaSite(std::string_view title, std::string_view address);
    // The host of an absolute URL, or none when the text has no host.
    static std::optional<std::string> urlHost(std::string_view address);
};

}  // namespace velmora
