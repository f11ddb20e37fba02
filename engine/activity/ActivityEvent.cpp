#include "engine/activity/ActivityEvent.h"

namespace velmora {

Json ActivityEvent::toJson() const { return encodeFields(*this); }

ActivityEvent ActivityEvent::fromJson(const Json& j) { return decodeFields<ActivityEvent>(j); }

}  // namespace velmora
