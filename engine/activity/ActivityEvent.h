#pragma once
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "engine/sampling/ProcessIdentity.h"
#include "engine/support/Json.h"

namespace velmora {

// Positions matter: the attribution engine indexes its weight table by them.
enum class ActivityEventKind {
    appLaunched,
    appTerminated,
    becameFrontmost,
    windowOpened,
    windowClosed,
    titleChanged,
    menuCommand,
    dialogAppeared,
    userIdle,
    userResumed,
    pageNavigated,
    mediaLikelyPlaying,
    tabActivity,
    documentOpened,
    siteActivity,
    visualContext,
};

template <>
struct EnumNames<ActivityEventKind> {
    static constexpr std::array<std::string_view, 16> names{
        "appLaunched",  "appTerminated", "becameFrontmost", "windowOpened",       "windowClosed", "titleChanged",
        "menuCommand",  "dialogAppeared", "userIdle",       "userResumed",        "pageNavigated", "mediaLikelyPlaying",
        "tabActivity",  "documentOpened", "siteActivity",   "visualContext"};
};

// One thing the user did.
struct ActivityEvent {
    Uuid id;
    Date timestamp;
    ActivityEventKind kind = ActivityEventKind::appLaunched;
    std::optional<ProcessIdentity> app;
    std::optional<std::string> windowTitle;
    std::optional<std::string> urlString;
    std::optional<std::string> detail;
    std::optional<std::string> semanticLabel;  // the source tag

    bool operator==(const ActivityEvent&) const = default;

    static constexpr auto jsonFields = std::tuple{
        jsonField("id", &ActivityEvent::id),
        jsonField("timestamp", &ActivityEvent::timestamp),
        jsonField("kind", &ActivityEvent::kind),
        jsonField("app", &ActivityEvent::app),
        jsonField("windowTitle", &ActivityEvent::windowTitle),
        jsonField("urlString", &ActivityEvent::urlString),
        jsonField("detail", &ActivityEvent::detail),
        jsonField("semanticLabel", &ActivityEvent::semanticLabel)};
    Json toJson() const;
    static ActivityEvent fromJson(const Json& j);
};

}  // namespace velmora
