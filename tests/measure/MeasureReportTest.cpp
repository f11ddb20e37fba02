#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>

#include "measure/MeasureReport.h"
#include "measure/MeasurementSession.h"

using namespace velmora;

namespace {

SystemMemorySnapshot snapshot(MemoryPressureLevel pressure, std::uint64_t swapUsed, double at) {
    SystemMemorySnapshot s;
    s.pressure = pressure;
    s.swapUsedBytes = swapUsed;
    s.compressedBytes = 11;
    s.availableBytes = 22;
    s.totalPhysicalBytes = 33;
    s.timestamp = Date{at};
    return s;
}

std::set<std::string> keysOf(const Json& j) {
    std::set<std::string> keys;
    for (const auto& [key, value] : j.items()) keys.insert(key);
    return keys;
}

MeasurementSession fullSession() {
    MeasurementSession s = MeasurementSession::started(Date{100});
    s.phase = MeasurePhase::report;
    s.startedAt = Date{103};
    s.actionEndedAt = Date{110.5};
    s.settledAt = Date{170};
    s.targetApp = ProcessIdentity{"org.example.Editor", "org.example.Editor", "Editor", {10, 12}, false};
    s.baselineFootprintBytes = 500'000'000;
    s.peakFootprintBytes = 900'000'000;
    s.settledFootprintBytes = 450'000'000;
    s.baselineSystem = snapshot(MemoryPressureLevel::normal, 1'000, 100);
    s.peakSystem = snapshot(MemoryPressureLevel::critical, 9'000, 150);
    s.settledSystem = snapshot(MemoryPressureLevel::warning, 4'000, 170);
    return s;
}

}  // namespace

TEST(MeasurementSessionTest, ActionDurationNeedsBothEnds) {
    MeasurementSession s = MeasurementSession::started(Date{50});
    EXPECT_EQ(s.actionDuration(), std::nullopt);
    s.actionEndedAt = Date{62.25};
    EXPECT_EQ(s.actionDuration(), 12.25);
    s.actionEndedAt = Date{40};
    EXPECT_EQ(s.actionDuration(), -10.0);
    s.startedAt.reset();
    EXPECT_EQ(s.actionDuration(), std::nullopt);
}

TEST(MeasurementSessionTest, FreshAndStartedForms) {
    const auto a = MeasurementSession::fresh(), b = MeasurementSession::fresh();
    EXPECT_NE(a.id, b.id);
    EXPECT_EQ(a.phase, MeasurePhase::idle);
    EXPECT_EQ(keysOf(a.toJson()), (std::set<std::string>{"id", "phase"}));
    EXPECT_EQ(a.toJson()["phase"], "idle");

    const auto started = MeasurementSession::started(Date{77});
    EXPECT_EQ(started.phase, MeasurePhase::baselining);
    EXPECT_EQ(started.startedAt, Date{77});
    EXPECT_EQ(keysOf(started.toJson()), (std::set<std::string>{"id", "phase", "startedAt"}));
}

TEST(MeasurementSessionTest, JsonRoundTripAndStrictPhase) {
    const auto full = fullSession();
    EXPECT_EQ(keysOf(full.toJson()).size(), 12u);
    EXPECT_EQ(MeasurementSession::fromJson(full.toJson()), full);
    const auto fresh = MeasurementSession::fresh();
    EXPECT_EQ(MeasurementSession::fromJson(fresh.toJson()), fresh);

    Json j = full.toJson();
    j["somethingElse"] = 5;
    EXPECT_EQ(MeasurementSession::fromJson(j), full);

    for (const char* phase : {"Settling", "SETTLING", "settle", ""}) {
        j = full.toJson();
        j["phase"] = phase;
        EXPECT_THROW(MeasurementSession::fromJson(j), DecodeError) << phase;
    }
    j["phase"] = "settling";
    EXPECT_EQ(MeasurementSession::fromJson(j).phase, MeasurePhase::settling);

    for (const char* required : {"id", "phase"}) {
        j = full.toJson();
        j.erase(required);
        EXPECT_THROW(MeasurementSession::fromJson(j), DecodeError) << required;
    }
    j = full.toJson();
    j["baselineFootprintBytes"] = -1;
    EXPECT_THROW(MeasurementSession::fromJson(j), DecodeError);
}

TEST(MeasurementSessionTest, TargetPidsTakePartInEquality) {
    const auto a = fullSession();
    ProcessIdentity fewerPids = *a.targetApp;
    fewerPids.pids.pop_back();
    MeasurementSession b = a;
    b.targetApp = fewerPids;
    EXPECT_NE(a, b);
    b.targetApp = a.targetApp;
    EXPECT_EQ(a, b);
}

TEST(MeasureReportTest, BuiltFromAFullSession) {
    const auto session = fullSession();
    const auto r = MeasureReport::make(session, ConfidenceLevel::medium, "Done.", Date{200});
    EXPECT_EQ(r.id, session.id);
    EXPECT_EQ(r.createdAt, Date{200});
    EXPECT_EQ(r.targetApp, session.targetApp);
    EXPECT_EQ(r.actionDuration, 7.5);
    EXPECT_EQ(r.beforeBytes, 500'000'000u);
    EXPECT_EQ(r.peakBytes, 900'000'000u);
    EXPECT_EQ(r.settledBytes, 450'000'000u);
    EXPECT_EQ(r.lastingImpactBytes, -50'000'000);
    EXPECT_EQ(r.pressureBefore, MemoryPressureLevel::normal);
    EXPECT_EQ(r.pressureAfter, MemoryPressureLevel::warning);  // settled wins over peak
    EXPECT_EQ(r.swapAddedBytes, 3'000);
    EXPECT_EQ(r.confidence, ConfidenceLevel::medium);
    EXPECT_EQ(r.summary, "Done.");
}

TEST(MeasureReportTest, MissingFiguresLeaveDerivedFieldsOut) {
    struct Case {
        const char* label;
        void (*change)(MeasurementSession&);
        bool lasting, pressureBefore;
        std::optional<MemoryPressureLevel> after;
        std::optional<std::int64_t> swapAdded;
    };
    const std::vector<Case> cases{
        {"no settled footprint", [](MeasurementSession& s) { s.settledFootprintBytes.reset(); }, false, true,
         MemoryPressureLevel::warning, 3'000},
        {"no baseline footprint", [](MeasurementSession& s) { s.baselineFootprintBytes.reset(); }, false, true, MemoryPressureLevel::warning, 3'000},
        {"peak snapshot stands in for settled", [](MeasurementSession& s) { s.settledSystem.reset(); }, true, true, MemoryPressureLevel::critical, 8'000},
        {"no baseline snapshot", [](MeasurementSession& s) { s.baselineSystem.reset(); }, true, false,
         MemoryPressureLevel::warning, std::nullopt},
        {"no after snapshots",
         [](MeasurementSession& s) {
             s.settledSystem.reset();
             s.peakSystem.reset();
         },
         true, true, std::nullopt, std::nullopt},
        {"swap fell",
         [](MeasurementSession& s) { s.settledSystem->swapUsedBytes = 0; }, true, true,
         MemoryPressureLevel::warning, -1'000},
    };
    for (const auto& c : cases) {
        auto session = fullSession();
        c.change(session);
        const auto r = MeasureReport::make(session, ConfidenceLevel::low, "", Date{1});
        EXPECT_EQ(r.lastingImpactBytes.has_value(), c.lasting) << c.label;
        EXPECT_EQ(r.pressureBefore.has_value(), c.pressureBefore) << c.label;
        EXPECT_EQ(r.pressureAfter, c.after) << c.label;
        EXPECT_EQ(r.swapAddedBytes, c.swapAdded) << c.label;
        EXPECT_EQ(MeasureReport::fromJson(r.toJson()), r) << c.label;
    }
}

TEST(MeasureReportTest, HugeCountsNeverWrapIntoTheWrongSign) {
    constexpr auto max = std::numeric_limits<std::uint64_t>::max();
    constexpr auto smax = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(signedByteDifference(450, 500), -50);
    EXPECT_EQ(signedByteDifference(max, 0), smax);
    EXPECT_EQ(signedByteDifference(0, max), -smax);
    EXPECT_EQ(signedByteDifference(max, max - 7), 7);
    EXPECT_EQ(signedByteDifference(std::uint64_t{1} << 63, 0), smax);

    auto session = fullSession();
    session.baselineFootprintBytes = max;
    session.settledFootprintBytes = 1;
    const auto r = MeasureReport::make(session, ConfidenceLevel::low, "", Date{1});
    EXPECT_EQ(r.lastingImpactBytes, -smax);
}

TEST(MeasureReportTest, JsonLeavesAbsentFieldsOut) {
    MeasurementSession bare = MeasurementSession::fresh();
    const auto r = MeasureReport::make(bare, ConfidenceLevel::high, "Nothing measured.", Date{42});
    const Json j = r.toJson();
    EXPECT_EQ(keysOf(j), (std::set<std::string>{"id", "createdAt", "confidence", "summary"}));
    EXPECT_EQ(j["confidence"], "high");
    EXPECT_EQ(MeasureReport::fromJson(j), r);

    const auto full = MeasureReport::make(fullSession(), ConfidenceLevel::low, "All of it.", Date{43});
    const Json fj = full.toJson();
    EXPECT_EQ(keysOf(fj).size(), 13u);
    EXPECT_EQ(fj["pressureAfter"], "warning");
    EXPECT_EQ(fj["lastingImpactBytes"], -50'000'000);
    EXPECT_EQ(MeasureReport::fromJson(fj), full);
}

TEST(MeasureReportTest, DecodingIsStrict) {
    const Json good = MeasureReport::make(fullSession(), ConfidenceLevel::medium, "x", Date{1}).toJson();
    for (const char* required : {"id", "createdAt", "confidence", "summary"}) {
        Json j = good;
        j.erase(required);
        EXPECT_THROW(MeasureReport::fromJson(j), DecodeError) << required;
    }
    const std::vector<std::pair<const char*, Json>> wrong{
        {"confidence", "Medium"},   {"confidence", 1},        {"pressureBefore", "tight"},
        {"beforeBytes", -5},        {"beforeBytes", 1.5},     {"swapAddedBytes", "12"},
        {"actionDuration", "long"}, {"summary", nullptr},
    };
    for (const auto& [key, value] : wrong) {
        Json j = good;
        j[key] = value;
        EXPECT_THROW(MeasureReport::fromJson(j), DecodeError) << key;
    }
    Json extra = good;
    extra["unknown"] = true;
    EXPECT_EQ(MeasureReport::fromJson(extra), MeasureReport::fromJson(good));
}
