#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

#include "engine/support/Json.h"

namespace velmora {

class DefaultsStore;

// Learns each app's ordinary ups and downs (a running mean and variance of its absolute
// footprint changes) so that a jittery app needs a bigger change to be noticed.
class AppNoiseProfileStore {
public:
    struct Profile {
        std::int64_t sampleCount = 0;
        double meanAbsDelta = 0;
        double m2 = 0;  // sum of squared deviations from the mean

        // Mean plus two standard deviations, in whole bytes.
        std::uint64_t noiseFloor() const;

        bool operator==(const Profile&) const = default;
        Json toJson() const;
        static Profile fromJson(const Json& j);  // throws DecodeError
    };

    static constexpr const char* defaultsKey = "AppNoiseProfiles";
    // Changes above this are not noise of any kind and are not learned.
    static constexpr std::uint64_t largestLearnedDelta = 524288000;  // 500 MiB
    // Profiles are written on every 30th sample of a key, not on every sample.
    static constexpr std::int64_t saveEvery = 30;
    // Below this many samples an app is judged by half the threshold.
    static constexpr std::int64_t learnedAfter = 20;

    explicit AppNoiseProfileStore(DefaultsStore& defaults) : defaults_(defaults) {}

    // Replaces the profiles with the stored ones; a missing or malformed value changes nothing.
    void load();
    // Takes in one absolute change of the app.
    void record(const std::string& groupingKey, std::uint64_t deltaBytes);
    bool isWithinNoise(const std::string& groupingKey, std::uint64_t deltaBytes, std::uint64_t thresholdBytes) const;
    // Writes all profiles.
    void save();

    const std::unordered_map<std::string, Profile>& profiles() const { return profiles_; }

private:
    std::unordered_map<std::string, Profile> profiles_;
    DefaultsStore& defaults_;
};

}  // namespace velmora
