#include "engine/sampling/ProcessIdentity.h"

namespace velmora {

Json ProcessIdentity::toJson() const {
    Json j = Json::object();
    j["groupingKey"] = groupingKey;
    putOptional(j, "bundleID", bundleID);
    j["displayName"] = displayName;
    j["pids"] = pids;
    j["isSelf"] = isSelf;
    return j;
}

ProcessIdentity ProcessIdentity::fromJson(const Json& j) {
    ProcessIdentity p;
    p.groupingKey = require<std::string>(j, "groupingKey");
    p.bundleID = optional<std::string>(j, "bundleID");
    p.displayName = require<std::string>(j, "displayName");
    p.pids = require<std::vector<std::int32_t>>(j, "pids");
    p.isSelf = require<bool>(j, "isSelf");
    return p;
}

ProcessIdentity ProcessIdentity::system() { return ProcessIdentity{"system", std::nullopt, "System", {}, false}; }

Json ProcessDetail::toJson() const {
    Json j = Json::object();
    j["pid"] = pid;
    j["name"] = name;
    j["footprintBytes"] = footprintBytes;
    putOptional(j, "parentPID", parentPID);
    return j;
}

ProcessDetail ProcessDetail::fromJson(const Json& j) {
    ProcessDetail d;
    d.pid = require<std::int32_t>(j, "pid");
    d.name = require<std::string>(j, "name");
    d.footprintBytes = require<std::uint64_t>(j, "footprintBytes");
    d.parentPID = optional<std::int32_t>(j, "parentPID");
    return d;
}

}  // namespace velmora
