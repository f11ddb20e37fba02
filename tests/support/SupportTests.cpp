#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
#include <set>
#include <sys/resource.h>

#include "engine/sampling/ProcessIdentity.h"
#include "engine/sampling/SystemMemorySnapshot.h"
#include "engine/support/Utf8.h"
#include "platform/linux/JsonFileDefaults.h"
#include "platform/linux/XdgPaths.h"
#include "tests/engine/settings/StoreFiles.h"
#include "tests/fakes/ManualScheduler.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

TEST(DateTest, IsoRoundTripAndReferenceDate) {
    const std::pair<Date, const char*> written[] = {{Date{0}, "2001-01-01T00:00:00Z"}, {Date::fromUnix(0), "1970-01-01T00:00:00Z"},
                                                    {Date::fromUnix(1709210096), "2024-02-29T12:34:56Z"},
                                                    // Dates from a damaged file stay within four-digit years.
                                                    {Date{1e300}, "9999-12-31T23:59:59Z"}, {Date{-1e300}, "0001-01-01T00:00:00Z"}};
    for (const auto& [date, text] : written) EXPECT_EQ(toIso8601(date), text);
    Date d;
    ASSERT_TRUE(parseIso8601("2024-02-29T12:34:56Z", d));
    EXPECT_DOUBLE_EQ(d.unixSeconds(), 1709210096);
    ASSERT_TRUE(parseIso8601("2024-02-29T14:34:56.5+02:00", d));
    EXPECT_DOUBLE_EQ(d.unixSeconds(), 1709210096.5);
    for (const char* bad : {"", "2024-02-29", "2024-13-01T00:00:00Z", "2024-02-29T12:34:56", "2024-02-29T12:34:56Zjunk"})
        EXPECT_FALSE(parseIso8601(bad, d)) << bad;
}

TEST(JsonTest, StrictTypesOptionalKeysDatesAndEnums) {
    const Json good = {{"groupingKey", "family:chrome"}, {"displayName", "Google Chrome"}, {"pids", {3, 1}}, {"isSelf", false}};
    auto id = ProcessIdentity::fromJson(good);
    EXPECT_EQ(std::make_pair(id.bundleID, id.toJson().count("bundleID")), std::make_pair(std::optional<std::string>(), std::size_t{0}));
    EXPECT_EQ(ProcessIdentity::fromJson(id.toJson()), id);
    // A number is not a Boolean, a missing key fails, fractions and out-of-range values are not pids.
    for (const auto& [key, value] : {std::pair<const char*, Json>{"isSelf", 0}, {"displayName", nullptr}, {"pids", {1.5}}, {"pids", {4294967296LL}}}) {
        Json wrong = good;
        wrong[key] = value;
        EXPECT_THROW(ProcessIdentity::fromJson(wrong), DecodeError) << key;
    }
    EXPECT_THROW(decode<std::uint64_t>(Json(-1)), DecodeError);
    EXPECT_EQ(decode<std::uint64_t>(Json(18446744073709551615ULL)), 18446744073709551615ULL);
    EXPECT_THROW(decode<std::int64_t>(Json(18446744073709551615ULL)), DecodeError);
    EXPECT_FALSE(parseJson("{\"a\":").has_value());
    // Brackets inside strings do not count as nesting.
    EXPECT_TRUE(parseJson(std::string(31, '[') + "{\"a\":\"[[[{{{\\\"\"}" + std::string(31, ']')).has_value());
    EXPECT_FALSE(parseJson(std::string(32, '[') + "{}" + std::string(32, ']')).has_value());

    const SystemMemorySnapshot s{.pressure = MemoryPressureLevel::warning, .timestamp = Date{100.5}};
    EXPECT_EQ(std::make_pair(s.toJson()["timestamp"], s.toJson()["pressure"]), std::make_pair(Json(100.5), Json("warning")));
    {
        ScopedDateStrategy iso(DateStrategy::iso8601);
        EXPECT_EQ(s.toJson()["timestamp"], "2001-01-01T00:01:40Z");
    }
    EXPECT_EQ(SystemMemorySnapshot::fromJson(s.toJson()), s);
    Json bad = s.toJson();
    bad["pressure"] = "Warning";
    EXPECT_THROW(SystemMemorySnapshot::fromJson(bad), DecodeError);
}

TEST(TextTest, UuidsAndUtf8) {
    const Uuid u = Uuid::random();
    const std::string text = u.toString();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(std::make_tuple(text[14], Uuid::parse(text), Uuid::parse(utf8::lower(text))), std::make_tuple('4', std::optional(u), std::optional(u)));
    EXPECT_NE(Uuid::random(), u);
    EXPECT_FALSE(Uuid::parse("not-a-uuid") || Uuid::parse("G0000000-0000-0000-0000-000000000000"));

    // A family emoji and a combining accent are one character each.
    EXPECT_EQ(utf8::characterCount("a\U0001F468\u200D\U0001F469\u200D\U0001F467e\u0301"), 3u);
    EXPECT_EQ(utf8::characterCount("\xFF"), 1u);
    const std::pair<std::string, std::string> cases[] = {
        {utf8::prefixCharacters("e\u0301xyz", 1), "e\u0301"}, {utf8::trim("\u00A0\u2003 hi there\n\t\u3000"), "hi there"},
        {utf8::trim(" \n "), ""}, {utf8::lower("ÄRGER Straße ÉCOLE"), "ärger straße école"},
        {utf8::shorten(std::string(100, 'x'), 60, 57), std::string(57, 'x') + "\u2026"},
        {utf8::shorten("  " + std::string(60, 'y') + "  ", 60, 57), std::string(60, 'y')}, {utf8::sanitize("ok\xFF\xFEok"), "ok\uFFFD\uFFFDok"},
    };
    for (const auto& [got, expected] : cases) EXPECT_EQ(got, expected);
}

TEST(FileSystemTest, AtomicWritesReplaceWholeFilesFailWholeOnAFullDiskAndLeaveNoTemporaries) {
    TempDir dir;
    PosixFileSystem fs;
    const auto path = dir.file("nested/stories.json");
    EXPECT_EQ(fs.read(path).status, FileSystem::ReadStatus::missing);
    ASSERT_TRUE(fs.writeAtomically(path, "first") && fs.writeAtomically(path, "second"));
    EXPECT_EQ(std::make_pair(fs.read(path).status, fs.read(path).contents), std::make_pair(FileSystem::ReadStatus::ok, std::string("second")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("nested")), {}), 1);

    // A write killed before its rename leaves a temporary; the next start clears only those.
    const std::string leftover = dir.file("nested/.stories.json." + Uuid::random().toString() + ".tmp");
    const std::string unrelated = dir.file("nested/.other.json." + Uuid::random().toString() + ".tmp");
    std::ofstream(leftover) << "partial";
    std::ofstream(unrelated) << "partial";
    fs.removeLeftoverTemporaries(path);
    EXPECT_EQ(std::make_pair(fs.exists(leftover), fs.exists(unrelated)), std::make_pair(false, true));

    const int status = statusOfChild([&] {  // a disk with 4 KiB left, as the file-size limit makes it
        const rlimit limit{4096, 4096};
        ::signal(SIGXFSZ, SIG_IGN);
        return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 && fs.writeAtomically(path, std::string(10000, 'n')) ? 1 : 0;
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write reported success";
    EXPECT_EQ(fs.read(path).contents, "second");
    EXPECT_EQ(filesStarting(dir.file("nested"), ".stories.json."), std::vector<std::string>{}) << "a temporary was left behind";
}

// An object holding the key and a value nested to `levels` in all.
std::string nested(int levels) {
    return "{\"Velmora.DeveloperMode\":true,\"x\":" + std::string(levels - 1, '[') + std::string(levels - 1, ']') + "}";
}

TEST(DefaultsTest, UnreadableFilesLoadAsDefaultsAndEachIsKeptUnderItsOwnName) {
    TempDir dir;
    RecordingFileSystem fs;
    const auto path = dir.file("defaults.json");
    const std::string bad[] = {nested(70000), "{\"Velmora.DeveloperMode\": tr", "[true]", nested(33)};
    // Opened one after another within the same second: no copy may overwrite an earlier one.
    for (const auto& contents : bad) {
        std::ofstream(path, std::ios::trunc | std::ios::binary) << contents;
        JsonFileDefaults d(fs, path);
        EXPECT_FALSE(d.value("Velmora.DeveloperMode").has_value()) << contents.substr(0, 40);
        d.setValue("k", 1);
        EXPECT_EQ(fs.read(path).contents, "{\"k\":1}");
    }
    std::ofstream(path, std::ios::trunc | std::ios::binary).close();
    std::filesystem::resize_file(path, 64 * 1024 * 1024 + 1);  // sparse: costs no disk
    EXPECT_FALSE(JsonFileDefaults(fs, path).value("k").has_value());

    std::multiset<std::string> kept;
    for (const auto& f : filesStarting(dir.path(), "defaults.json.bad-")) {
        const auto r = fs.readAtMost(f, 1024 * 1024);
        kept.insert(r.status == FileSystem::ReadStatus::tooLarge ? "too large" : r.contents);
    }
    EXPECT_EQ(kept, (std::multiset<std::string>{bad[0], bad[1], bad[2], bad[3], "too large"}));

    // A file that cannot be set aside is never written over.
    std::ofstream(path, std::ios::trunc | std::ios::binary) << bad[1];
    fs.refuseMoves = true;
    JsonFileDefaults(fs, path).setValue("k", 2);
    EXPECT_EQ(fs.read(path).contents, bad[1]);
}

TEST(PathsTest, XdgFallbacks) {
    const auto paths = [](std::map<std::string, std::string> m) {
        return XdgPaths([m](const std::string& k) { return m.contains(k) ? std::optional(m.at(k)) : std::nullopt; });
    };
    EXPECT_EQ(paths({{"XDG_DATA_HOME", "/x/data"}, {"HOME", "/home/u"}}).applicationSupportDirectory(), "/x/data/Velmora");
    EXPECT_EQ(paths({{"XDG_DATA_HOME", "relative"}, {"HOME", "/home/u"}}).applicationSupportDirectory(), "/home/u/.local/share/Velmora");
    TempDir tmp;  // without a home: a folder of this user's own, never the shared "/tmp/Velmora"
    EXPECT_EQ(paths({{"TMPDIR", tmp.path()}}).applicationSupportDirectory(), tmp.path() + "/Velmora-" + std::to_string(::geteuid()));
    EXPECT_EQ(paths({{"HOME", "/home/u"}}).configDirectory(), "/home/u/.config/Velmora");
}

TEST(ManualSchedulerTest, FiresTimersInTimeOrderAndHonoursCancel) {
    FakeClock clock(Date{0});
    ManualScheduler s(clock);
    std::vector<std::pair<int, double>> fired;
    const auto a = s.scheduleRepeating(1.0, [&] { fired.push_back({1, clock.now().secondsSince2001}); });
    s.scheduleOnce(2.5, [&] { fired.push_back({2, clock.now().secondsSince2001}), s.cancel(a); });
    s.advance(10);
    EXPECT_EQ(fired, (std::vector<std::pair<int, double>>{{1, 1.0}, {1, 2.0}, {2, 2.5}}));
    EXPECT_EQ(std::make_pair(clock.now().secondsSince2001, s.activeTimers()), std::make_pair(10.0, std::size_t{0}));
}
