#pragma once
// How every screen and story speaks of apps, activity and byte amounts. Pure functions.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/activity/ActivityEvent.h"
#include "engine/sampling/ProcessIdentity.h"
#include "engine/sampling/SystemMemorySnapshot.h"
#include "engine/support/ByteMath.h"

namespace velmora {

struct MeasureReport;

// The name to show for a process or app: browser helpers fold into their browser, other
// helpers are marked as background work.
std::string friendlyAppName(std::string_view name);

// Memory-style byte count, 1024-based: "0 bytes", "1 byte", "1,023 bytes", "2 KB", "1.2 GB".
std::string formatBytes(std::uint64_t bytes);
// "OK", "Tight" or "Critical".
std::string_view pressureLabel(MemoryPressureLevel level);

// formatBytes of the magnitude, prefixed "+" when positive and U+2212 when negative.
std::string formatSignedBytes(std::int64_t bytes);

// A short phrase without a subject, e.g. "Opened a page in Firefox".
std::string activityPhrase(const ActivityEvent& event);

// A sentence addressed to the user, e.g. "You opened Maps"; falls back to activityPhrase.
std::string userActionSentence(const ActivityEvent& event);

std::string pressureChangeSentence(MemoryPressureLevel from, MemoryPressureLevel to);

// "<app> freed 300 MB" or "<app> used +1.2 GB more".
std::string freedOrUsedPhrase(const ProcessIdentity& identity, std::int64_t delta);

// The result sentence of one "Check one action" measurement.
std::string measureResultSentence(const MeasureReport& report);

}  // namespace velmora
