#include <gtest/gtest.h>

#include <limits>
#include <tuple>

#include "measure/MeasureReport.h"

using namespace velmora;

namespace {

using P = MemoryPressureLevel;
using Session = MeasurementSession;
constexpr auto kMax = std::numeric_limits<std::int64_t>::max();

SystemMemorySnapshot snapshot(P pressure, std::uint64_t swapUsed) { return {pressure, swapUsed, 11, 22, 33, Date{100}}; }

const Session kFull{Uuid::random(), MeasurePhase::report, Date{103}, Date{110.5}, Date{170},
                    ProcessIdentity{"org.example.Editor", "org.example.Editor", "Editor", {10, 12}, false},
                    500'000'000, 900'000'000, 450'000'000,
                    snapshot(P::normal, 1'000), snapshot(P::critical, 9'000), snapshot(P::warning, 4'000)};

}  // namespace

TEST(MeasurementSessionTest, FormsDurationAndJson) {
    Session s = Session::started(Date{50});
    EXPECT_EQ(s.toJson(), (Json{{"id", s.id.toString()}, {"phase", "baselining"}, {"startedAt", 50.0}}));
    EXPECT_EQ(s.actionDuration(), std::nullopt);
    s.actionEndedAt = Date{40};
    EXPECT_EQ(s.actionDuration(), -10.0);
    const auto fresh = Session::fresh();
    EXPECT_EQ(fresh.toJson(), (Json{{"id", fresh.id.toString()}, {"phase", "idle"}}));

    Json j = kFull.toJson();
    EXPECT_EQ(j.size(), 12u);
    j["somethingElse"] = 5;
    EXPECT_EQ(Session::fromJson(j), kFull);
    for (const auto& [key, value] : {std::pair<const char*, Json>{"phase", "Settling"}, {"id", nullptr},
                                     {"baselineFootprintBytes", -1}}) {
        Json broken = kFull.toJson();
        broken[key] = value;
        EXPECT_THROW(Session::fromJson(broken), DecodeError) << key;
    }
}

TEST(MeasureReportTest, BuiltFromSessions) {
    using I = std::optional<std::int64_t>;
    using O = std::optional<P>;
    const std::tuple<void (*)(Session&), I, O, O, I> cases[] = {  // change; lasting, before, after, swap added
        {[](Session&) {}, -50'000'000, P::normal, P::warning, 3'000},
        {[](Session& s) { s.settledFootprintBytes.reset(); }, {}, P::normal, P::warning, 3'000},
        {[](Session& s) { s.baselineFootprintBytes.reset(); }, {}, P::normal, P::warning, 3'000},
        {[](Session& s) { s.settledSystem.reset(); }, -50'000'000, P::normal, P::critical, 8'000},  // peak stands in
        {[](Session& s) { s.baselineSystem.reset(); }, -50'000'000, {}, P::warning, {}},
        {[](Session& s) { s.settledSystem->swapUsedBytes = 0; }, -50'000'000, P::normal, P::warning, -1'000},
        {[](Session& s) { s.baselineFootprintBytes = std::numeric_limits<std::uint64_t>::max(); }, -kMax, P::normal,
         P::warning, 3'000},
    };
    for (const auto& [change, lasting, before, after, swapAdded] : cases) {
        auto session = kFull;
        change(session);
        const auto r = MeasureReport::make(session, ConfidenceLevel::medium, "Done.", Date{200});
        EXPECT_EQ(r, (MeasureReport{session.id, Date{200}, session.targetApp, 7.5, session.baselineFootprintBytes,
                                    session.peakFootprintBytes, session.settledFootprintBytes, lasting, before, after,
                                    swapAdded, ConfidenceLevel::medium, "Done."}));
        EXPECT_EQ(MeasureReport::fromJson(Json::parse(r.toJson().dump())), r);
    }
    EXPECT_EQ(signedDifference(std::uint64_t{1} << 63, 0), kMax);
}

TEST(MeasureReportTest, JsonLeavesAbsentFieldsOutAndDecodesStrictly) {
    const auto bare = MeasureReport::make(Session::fresh(), ConfidenceLevel::high, "Nothing.", Date{42});
    EXPECT_EQ(bare.toJson(), (Json{{"id", bare.id.toString()}, {"createdAt", 42.0}, {"confidence", "high"},
                                   {"summary", "Nothing."}}));
    EXPECT_EQ(MeasureReport::fromJson(bare.toJson()), bare);

    const Json good = MeasureReport::make(kFull, ConfidenceLevel::medium, "x", Date{1}).toJson();
    EXPECT_EQ(good.size(), 13u);
    const std::pair<const char*, Json> wrong[] = {
        {"id", nullptr},             {"createdAt", nullptr}, {"confidence", "Medium"}, {"summary", nullptr},
        {"pressureBefore", "tight"}, {"beforeBytes", -5},    {"swapAddedBytes", "12"},
    };
    for (const auto& [key, value] : wrong) {
        Json j = good;
        j[key] = value;
        EXPECT_THROW(MeasureReport::fromJson(j), DecodeError) << key;
    }
}
