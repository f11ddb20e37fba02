#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "engine/support/Date.h"
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
        static constexpr auto jsonFields =
            std::tuple{jsonField("sampleCount", &Profile::sampleCount), jsonField("meanAbsDelta", &Profile::meanAbsDelta),
                       jsonField("m2", &Profile::m2)};
        Json toJson() const;
        static Profile fromJson(const Json& j);  // throws DecodeError
    };

    static constexpr const char* defaultsKey = "AppNoiseProfiles";
    // Changes above this are not noise of any kind and are not learned.
    static constexpr std::uint64_t largestLearnedDelta = 524288000;  // 500 MiB
    // Profiles are written on every 30th sample of a key, not on every sample.
    static constexpr std::int64_t saveEvery = 30;
    // ... and, with hundreds of apps, no more often than this: each write stores them all and
    // syncs the whole defaults file to disk.
    static constexpr double minimumSaveInterval = 30.0;
    // Profiles of apps not seen for this long are forgotten, so they do not pile up.
    static constexpr double forgetAfter = 30.0 * 86400.0;
    // Below this many samples an app is judged by half the threshold.
    static constexpr std::int64_t learnedAfter = 20;

    explicit AppNoiseProfileStore(DefaultsStore& defaults) : defaults_(defaults) {}

    // Replaces the profiles with the stored ones, skipping any that fail to decode; a missing or
    // malformed value changes nothing.
    void load();
    // Takes in one absolute change of the app, seen at `now`.
    void record(const std::string& groupingKey, std::uint64_t deltaBytes, Date now);
    // The app is in the sample at `now`; a save that waited for its interval happens here.
    void seen(const std::string& groupingKey, Date now);
    bool isWithinNoise(const std::string& groupingKey, std::uint64_t deltaBytes, std::uint64_t thresholdBytes) const;
    // Writes all profiles, leaving out those of apps not seen for `forgetAfter`.
    void save();

    const std::unordered_map<std::string, Profile>& profiles() const { return profiles_; }

private:
    void saveWhenDue(Date now);

    std::unordered_map<std::string, Profile> profiles_;
    struct Seen {
        Date at;
        std::optional<Date> written;  // as the stored value has it
    };
    std::unordered_map<std::string, Seen> lastSeen_;  // absent: loaded without a date and not seen since
    // The stored value as last written; a save encodes only the profiles changed since.
    Json encoded_ = Json::object();
    std::unordered_set<std::string> dirty_;
    bool saveWanted_ = false;
    std::optional<Date> latest_;
    std::optional<Date> lastSave_;
    DefaultsStore& defaults_;
};

}  // namespace velmora
