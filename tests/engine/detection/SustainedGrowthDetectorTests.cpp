#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/detection/SustainedGrowthDetector.h"

using namespace velmora;

namespace {

constexpr std::uint64_t GiB = 1ull << 30;
constexpr std::uint64_t MiB = 1ull << 20;
constexpr std::uint64_t Sustained16 = 314572800;  // 3 × B with 16 GiB installed
const Date Now{700000000.0};

using Points = std::vector<std::pair<Date, std::uint64_t>>;

// `count` points ending at `end`, `spacing` apart, rising evenly from `from` to `to`.
Points ramp(std::size_t count, double spacing, std::uint64_t from, std::uint64_t to, Date end = Now) {
    Points out;
    for (std::size_t i = 0; i < count; ++i) {
        const double share = count > 1 ? static_cast<double>(i) / static_cast<double>(count - 1) : 1.0;
        const auto bytes = from + static_cast<std::uint64_t>(share * static_cast<double>(to - from));
        out.emplace_back(end - spacing * static_cast<double>(count - 1 - i), i + 1 == count ? to : bytes);
    }
    return out;
}

ProcessIdentity identity(const std::string& key, bool isSelf = false) {
    return ProcessIdentity{key, std::nullopt, key, {7}, isSelf};
}

class SustainedTest : public ::testing::Test {
protected:
    SustainedTest() {
        detector.onSustainedGrowth = [this](const SustainedGrowthResult& r) { results.push_back(r); };
    }
    void run(const Points& points, Date now = Now, bool isIdle = false, bool isSelf = false) {
        const std::map<std::string, Points> histories{{"app", points}};
        const std::map<std::string, ProcessIdentity> identities{{"app", identity("app", isSelf)}};
        detector.evaluate(histories, identities, isIdle, now);
    }

    SustainedGrowthDetector detector{16 * GiB};
    std::vector<SustainedGrowthResult> results;
};

}  // namespace

TEST_F(SustainedTest, DecisiveBounds) {
    struct Row {
        const char* name;
        Points points;
        bool reported;
    };
    Points span7199 = ramp(720, 1.0, GiB, GiB + Sustained16, Now - 0.9);
    span7199.emplace_back(Now, GiB + Sustained16);  // 719.9 s from first to last
    Points span720 = ramp(720, 1.0, GiB, GiB + Sustained16, Now - 1.0);
    span720.emplace_back(Now, GiB + Sustained16);
    const Row rows[] = {
        {"29 points", ramp(29, 26.0, GiB, 2 * GiB), false},
        {"30 points", ramp(30, 26.0, GiB, 2 * GiB), true},
        {"719.9 s", span7199, false},
        {"720.0 s", span720, true},
        {"exactly 3B", ramp(800, 1.0, GiB, GiB + Sustained16), true},
        {"3B - 1", ramp(800, 1.0, GiB, GiB + Sustained16 - 1), false},
        {"release", ramp(800, 1.0, GiB + Sustained16, GiB), false},
        {"flat", ramp(800, 1.0, GiB, GiB), false},
    };
    for (const auto& r : rows) {
        results.clear();
        SustainedGrowthDetector d(16 * GiB);
        d.onSustainedGrowth = [&](const SustainedGrowthResult& x) { results.push_back(x); };
        d.evaluate(std::map<std::string, Points>{{"app", r.points}},
                   std::map<std::string, ProcessIdentity>{{"app", identity("app")}}, false, Now);
        EXPECT_EQ(results.size(), r.reported ? 1u : 0u) << r.name;
    }
}

TEST_F(SustainedTest, ResultDescribesTheWindow) {
    // Older points outside the last fifteen minutes do not count.
    Points points = ramp(100, 1.0, 100 * MiB, 100 * MiB, Now - 2000);
    const Points recent = ramp(801, 1.0, GiB, 2 * GiB);
    points.insert(points.end(), recent.begin(), recent.end());
    run(points, Now, /*isIdle=*/true);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], (SustainedGrowthResult{identity("app"), Now - 800, Now, GiB, 2 * GiB, true}));
    EXPECT_EQ(detector.lastEmit().at("app"), Now);
}

TEST_F(SustainedTest, MostlyRising) {
    struct Row {
        std::vector<std::uint64_t> bytes;
        bool rising;
    };
    const Row rows[] = {
        {{100, 100, 100, 100}, true},
        {{100, 200, 150, 250}, false},
        {{100, 200, 150, 250, 300, 400}, true},
        {{100, 200, 300}, false},  // fewer than four points
        {{400, 300, 200, 100}, false},
    };
    for (const auto& r : rows) {
        Points points;
        for (std::size_t i = 0; i < r.bytes.size(); ++i) points.emplace_back(Now + static_cast<double>(i), r.bytes[i]);
        EXPECT_EQ(SustainedGrowthDetector::isMostlyRising(points), r.rising) << ::testing::PrintToString(r.bytes);
    }
}

TEST_F(SustainedTest, SawtoothThatEndsHigherIsNotMostlyRising) {
    Points points;
    for (int i = 0; i <= 800; ++i)
        points.emplace_back(Now - 800 + i, GiB + static_cast<std::uint64_t>(i) * MiB / 2 + (i % 2 ? 0 : 400 * MiB));
    run(points);
    EXPECT_TRUE(results.empty());
}

TEST_F(SustainedTest, CooldownOfTenMinutes) {
    for (const auto& [after, reported] : {std::pair{599.0, false}, std::pair{600.0, true}}) {
        results.clear();
        SustainedGrowthDetector d(16 * GiB);
        d.onSustainedGrowth = [&](const SustainedGrowthResult& x) { results.push_back(x); };
        const std::map<std::string, ProcessIdentity> ids{{"app", identity("app")}};
        d.evaluate(std::map<std::string, Points>{{"app", ramp(800, 1.0, GiB, 2 * GiB)}}, ids, false, Now);
        d.evaluate(std::map<std::string, Points>{{"app", ramp(1400, 1.0, GiB, 3 * GiB, Now + after)}}, ids, false,
                   Now + after);
        EXPECT_EQ(results.size(), reported ? 2u : 1u) << after;
    }
}

TEST_F(SustainedTest, SkipsSelfUnknownAndEmptyIdentities) {
    run(ramp(800, 1.0, GiB, 2 * GiB), Now, false, /*isSelf=*/true);
    EXPECT_TRUE(results.empty());
    const std::map<std::string, Points> histories{{"gone", ramp(800, 1.0, GiB, 2 * GiB)}};
    detector.evaluate(histories, std::map<std::string, ProcessIdentity>{{"other", identity("other")}}, false, Now);
    detector.evaluate(histories, std::map<std::string, ProcessIdentity>{}, false, Now);
    EXPECT_TRUE(results.empty());
}

TEST_F(SustainedTest, GapInHistoryIsNotGrowth) {
    struct Row {
        const char* name;
        double gap;  // seconds without points, ending 300 s before now
        bool reported;
    };
    const Row rows[] = {
        {"app quit for ten minutes", 600, false},
        {"sampler stopped for a minute", 60, false},
        {"31 s hole", 31, false},
        {"a 20 s stall", 20, true},
    };
    for (const auto& r : rows) {
        results.clear();
        SustainedGrowthDetector d(16 * GiB);
        d.onSustainedGrowth = [&](const SustainedGrowthResult& x) { results.push_back(x); };
        // Small before the hole, large and flat after it: the rise happened while unobserved.
        Points points = ramp(601 - static_cast<std::size_t>(r.gap), 1.0, 500 * MiB, 500 * MiB + 50 * MiB,
                             Now - 300 - r.gap);
        const Points after = ramp(301, 1.0, 500 * MiB + 50 * MiB + Sustained16, 500 * MiB + 50 * MiB + Sustained16 + MiB);
        points.insert(points.end(), after.begin(), after.end());
        d.evaluate(std::map<std::string, Points>{{"app", points}},
                   std::map<std::string, ProcessIdentity>{{"app", identity("app")}}, false, Now);
        EXPECT_EQ(results.size(), r.reported ? 1u : 0u) << r.name;
    }
}

TEST_F(SustainedTest, ClockSetBackSplitsTheRun) {
    Points points = ramp(900, 1.0, GiB, GiB, Now - 100);
    const Points after = ramp(400, 1.0, 2 * GiB, 2 * GiB);  // dated before the points above
    points.insert(points.end(), after.begin(), after.end());
    run(points);
    EXPECT_TRUE(results.empty());
}
