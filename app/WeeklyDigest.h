#pragma once
#include <optional>
#include <string>
#include <vector>

#include "engine/stories/DailyStat.h"

namespace velmora {

class DailyStatsStore;

// The weekly notification's text: the app that grew most over the week and how many days were tight.
namespace WeeklyDigest {

inline constexpr double periodSeconds = 604800.0;
inline constexpr int days = 7;

struct Content {
    std::string title;
    std::string body;
    bool operator==(const Content&) const = default;
};

// None when the week holds no story.
std::optional<Content> compose(const DailyStatsStore& stats);
std::string topFactorSentence(const std::vector<DailyAppStat>& apps, long long totalStories, int dayCount);
std::optional<std::string> tightDaysSentence(int tightDays, int dayCount);

}  // namespace WeeklyDigest

}  // namespace velmora
