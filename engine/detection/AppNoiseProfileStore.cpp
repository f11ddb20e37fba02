#include "engine/detection/AppNoiseProfileStore.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/detection/AdaptiveThresholds.h"
#include "platform/DefaultsStore.h"

namespace velmora {

std::uint64_t AppNoiseProfileStore::Profile::noiseFloor() const {
    double spread = 0;
    // A negative m2 can only come from rounding or a damaged value; it spreads nothing.
    if (sampleCount >= 2 && m2 > 0) spread = 2.0 * std::sqrt(m2 / static_cast<double>(sampleCount - 1));
    return truncatedBytes(meanAbsDelta + spread);
}

Json AppNoiseProfileStore::Profile::toJson() const { return encodeFields(*this); }

AppNoiseProfileStore::Profile AppNoiseProfileStore::Profile::fromJson(const Json& j) {
    Profile p = decodeFields<Profile>(j);
    // Counts and sums of absolute values are never negative, and no learned change is above the
    // largest one taken in; such a value was not written by us and would silence the app for good.
    // Changes of 0 … 500 MiB lie within 250 MiB of their mean, so m2 ≤ n × (250 MiB)² (doubled
    // for rounding).
    const double halfRange = largestLearnedDelta / 2.0;
    if (p.sampleCount < 0 || !(p.meanAbsDelta >= 0 && p.meanAbsDelta <= largestLearnedDelta) ||
        !std::isfinite(p.m2) || p.m2 < 0 || p.m2 > 2.0 * static_cast<double>(p.sampleCount) * halfRange * halfRange)
        throw DecodeError("noise profile out of range");
    return p;
}

void AppNoiseProfileStore::load() {
    const auto stored = defaults_.value(defaultsKey);
    if (!stored || !stored->is_object()) return;
    profiles_.clear();
    lastSeen_.clear();
    dirty_.clear();
    encoded_ = Json::object();
    // One by one: a damaged profile costs only its own app's learning.
    for (const auto& [key, value] : stored->items()) {
        try {
            profiles_[key] = decode<Profile>(value);
        } catch (const DecodeError&) {
            continue;
        }
        encoded_[key] = value;
        if (const auto seen = value.find("lastSeen");
            seen != value.end() && seen->is_number() && std::isfinite(seen->get<double>()))
            lastSeen_[key] = Seen{Date{seen->get<double>()}, Date{seen->get<double>()}};
    }
}

void AppNoiseProfileStore::record(const std::string& groupingKey, std::uint64_t deltaBytes, Date now) {
    if (deltaBytes > largestLearnedDelta) return;
    Profile& p = profiles_[groupingKey];
    if (p.sampleCount == std::numeric_limits<std::int64_t>::max()) return;  // learned enough
    const std::int64_t n = p.sampleCount + 1;
    const double x = static_cast<double>(deltaBytes);
    const double d = x - p.meanAbsDelta;
    const double mean = p.meanAbsDelta + d / static_cast<double>(n);
    p.m2 += d * (x - mean);
    p.meanAbsDelta = mean;
    p.sampleCount = n;
    lastSeen_[groupingKey].at = now;
    dirty_.insert(groupingKey);
    if (n % saveEvery == 0) saveWanted_ = true;
    saveWhenDue(now);
}

void AppNoiseProfileStore::seen(const std::string& groupingKey, Date now) {
    auto it = lastSeen_.find(groupingKey);
    if (it == lastSeen_.end()) {
        if (!profiles_.contains(groupingKey)) return saveWhenDue(now);
        it = lastSeen_.emplace(groupingKey, Seen{now, std::nullopt}).first;
    }
    it->second.at = now;
    // The stored date needs to be right to the day only: it decides after a month.
    if (!it->second.written || now - *it->second.written > 86400.0) dirty_.insert(groupingKey);
    saveWhenDue(now);
}

void AppNoiseProfileStore::saveWhenDue(Date now) {
    latest_ = now;
    // A clock set back ends the wait rather than prolonging it.
    if (saveWanted_ && (!lastSave_ || now - *lastSave_ >= minimumSaveInterval || now < *lastSave_)) save();
}

bool AppNoiseProfileStore::isWithinNoise(const std::string& groupingKey, std::uint64_t deltaBytes,
                                         std::uint64_t thresholdBytes) const {
    const auto it = profiles_.find(groupingKey);
    if (it == profiles_.end() || it->second.sampleCount < learnedAfter) return deltaBytes < thresholdBytes / 2;
    return deltaBytes < std::max(thresholdBytes / 4, it->second.noiseFloor());
}

void AppNoiseProfileStore::save() {
    saveWanted_ = false;
    if (latest_) {
        lastSave_ = latest_;
        for (auto it = profiles_.begin(); it != profiles_.end();) {
            const auto seen = lastSeen_.try_emplace(it->first, Seen{*latest_, std::nullopt}).first;  // loaded ones count from now
            if (*latest_ - seen->second.at <= forgetAfter) {
                ++it;
                continue;
            }
            encoded_.erase(it->first);
            dirty_.erase(it->first);
            lastSeen_.erase(seen);
            it = profiles_.erase(it);
        }
    }
    for (const auto& key : dirty_) {
        const Profile& profile = profiles_.at(key);
        // JSON has no infinities; writing one would replace good stored data with nulls.
        if (!std::isfinite(profile.meanAbsDelta) || !std::isfinite(profile.m2)) continue;
        Json value = profile.toJson();
        if (const auto seen = lastSeen_.find(key); seen != lastSeen_.end()) {
            value["lastSeen"] = seen->second.at.secondsSince2001;
            seen->second.written = seen->second.at;
        }
        encoded_[key] = std::move(value);
    }
    dirty_.clear();
    defaults_.setValue(defaultsKey, encoded_);
}

}  // namespace velmora
