#include "app/WeeklyDigest.h"

#include <algorithm>

#include "app/AppState.h"
#include "app/StoryText.h"
#include "engine/stories/DailyStatsStore.h"
#include "engine/stories/Phrasing.h"
#include "platform/Clock.h"
#include "platform/DigestNotifier.h"

namespace velmora {

namespace WeeklyDigest {

std::optional<Content> compose(const DailyStatsStore& stats) {
    const auto rows = stats.recentDays(days);
    long long total = 0;
    int tight = 0;
    for (const auto& row : rows) {
        total = saturatingAdd(total, row.storyCount);
        if (saturatingAdd(row.pressureWarningSeconds, row.pressureCriticalSeconds) >= 1) ++tight;
    }
    if (total < 1) return std::nullopt;
    std::string body = topFactorSentence(stats.appTotals(days), total, days);
    if (auto tightSentence = tightDaysSentence(tight, days)) body += " " + *tightSentence;
    return Content{"Your week in memory", std::move(body)};
}

std::string topFactorSentence(const std::vector<DailyAppStat>& apps, long long totalStories, int dayCount) {
    if (!apps.empty() && apps.front().totalGrowthBytes >= 1) {
        const auto& top = apps.front();
        return friendlyAppName(top.displayName) + " was the biggest factor over the last " + decimalText(dayCount) +
               " days \u2014 " + decimalText(top.storyCount) + (top.storyCount == 1 ? " story" : " stories") + ", " +
               formatBytes(static_cast<std::uint64_t>(top.totalGrowthBytes)) + " total growth.";
    }
    if (totalStories == 0) return "Not enough history yet \u2014 check back after a few days of use.";
    return "No single app stood out over the last " + decimalText(dayCount) + " days.";
}

std::optional<std::string> tightDaysSentence(int tightDays, int dayCount) {
    if (tightDays < 1) return std::nullopt;
    return "Computer memory felt tight on " + decimalText(tightDays) + " of the last " + decimalText(dayCount) +
           " days \u2014 not constant, but not nothing either.";
}

}  // namespace WeeklyDigest

void AppState::checkWeeklyDigest(Date now) {
    if (!settings->weeklyDigestEnabled()) return;
    const auto last = settings->lastDigestSentDate();
    // A date in the future means the clock was set back: start the week again from now rather
    // than stay silent until that date.
    if (!last || *last > now) {
        settings->setLastDigestSentDate(now);
        return;
    }
    if (now - *last < WeeklyDigest::periodSeconds) return;
    settings->setLastDigestSentDate(now);
    if (auto content = WeeklyDigest::compose(*dailyStats)) deps_.notifier.postWeeklyDigest(content->title, content->body);
}

void AppState::setWeeklyDigestEnabled(bool enabled) {
    settings->setWeeklyDigestEnabled(enabled);
    if (!enabled) return;
    if (!settings->lastDigestSentDate()) settings->setLastDigestSentDate(deps_.clock.now());
    std::weak_ptr<AppState*> weak = alive_;
    deps_.notifier.requestAuthorization([weak](bool granted) {
        if (auto self = weak.lock()) (*self)->weeklyDigestAuthorizationAnswered(granted);
    });
}

}  // namespace velmora
