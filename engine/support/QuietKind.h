#pragma once
#include "engine/activity/ActivityEvent.h"

namespace velmora {

// Switching apps, going idle and coming back: activity that says nothing about what moved memory.
// Attribution does not count it as meaningful and a story's headline looks past it.
constexpr bool isQuietKind(ActivityEventKind kind) {
    return kind == ActivityEventKind::becameFrontmost || kind == ActivityEventKind::userIdle ||
           kind == ActivityEventKind::userResumed;
}

}  // namespace velmora
