#include "engine/sampling/SystemMemorySnapshot.h"

namespace velmora {

Json SystemMemorySnapshot::toJson() const { return encodeFields(*this); }

SystemMemorySnapshot SystemMemorySnapshot::fromJson(const Json& j) { return decodeFields<SystemMemorySnapshot>(j); }

}  // namespace velmora
