#include "engine/activity/ActivityEvent.h"

namespace velmora {

Json ActivityEvent::toJson() const {
    Json j = Json::object();
    j["id"] = encode(id);
    j["timestamp"] = encode(timestamp);
    j["kind"] = encode(kind);
    putOptional(j, "app", app);
    putOptional(j, "windowTitle", windowTitle);
    putOptional(j, "urlString", urlString);
    putOptional(j, "detail", detail);
    putOptional(j, "semanticLabel", semanticLabel);
    return j;
}

ActivityEvent ActivityEvent::fromJson(const Json& j) {
    ActivityEvent e;
    e.id = require<Uuid>(j, "id");
    e.timestamp = require<Date>(j, "timestamp");
    e.kind = require<ActivityEventKind>(j, "kind");
    e.app = optional<ProcessIdentity>(j, "app");
    e.windowTitle = optional<std::string>(j, "windowTitle");
    e.urlString = optional<std::string>(j, "urlString");
    e.detail = optional<std::string>(j, "detail");
    e.semanticLabel = optional<std::string>(j, "semanticLabel");
    return e;
}

}  // namespace velmora
