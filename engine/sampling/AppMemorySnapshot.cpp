#include "engine/sampling/AppMemorySnapshot.h"

namespace velmora {

Json AppMemorySnapshot::toJson() const { return encodeFields(*this); }

AppMemorySnapshot AppMemorySnapshot::fromJson(const Json& j) { return decodeFields<AppMemorySnapshot>(j); }

}  // namespace velmora
