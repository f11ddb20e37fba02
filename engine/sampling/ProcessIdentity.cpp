#include "engine/sampling/ProcessIdentity.h"

namespace velmora {

Json ProcessIdentity::toJson() const { return encodeFields(*this); }

ProcessIdentity ProcessIdentity::fromJson(const Json& j) { return decodeFields<ProcessIdentity>(j); }

ProcessIdentity ProcessIdentity::system() { return ProcessIdentity{"system", std::nullopt, "System", {}, false}; }

Json ProcessDetail::toJson() const { return encodeFields(*this); }

ProcessDetail ProcessDetail::fromJson(const Json& j) { return decodeFields<ProcessDetail>(j); }

}  // namespace velmora
