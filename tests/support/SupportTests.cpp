#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/sampling/ProcessIdentity.h"
#include "engine/sampling/SystemMemorySnapshot.h"
#include "engine/support/Utf8.h"
#include "platform/linux/JsonFileDefaults.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/XdgPaths.h"
#include "tests/fakes/ManualScheduler.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

TEST(DateTest, IsoRoundTripAndReferenceDate) {
    EXPECT_EQ(toIso8601(Date{0}), "2001-01-01T00:00:00Z");
    EXPECT_EQ(toIso8601(Date::fromUnix(0)), "1970-01-01T00:00:00Z");
    EXPECT_EQ(toIso8601(Date::fromUnix(1709210096)), "2024-02-29T12:34:56Z");
    // Dates from a damaged file stay within four-digit years.
    EXPECT_EQ(toIso8601(Date{1e300}), "9999-12-31T23:59:59Z");
    EXPECT_EQ(toIso8601(Date{-1e300}), "0001-01-01T00:00:00Z");
    Date d;
    ASSERT_TRUE(parseIso8601("2024-02-29T12:34:56Z", d));
    EXPECT_DOUBLE_EQ(d.unixSeconds(), 1709210096);
    ASSERT_TRUE(parseIso8601("2024-02-29T14:34:56.5+02:00", d));
    EXPECT_DOUBLE_EQ(d.unixSeconds(), 1709210096.5);
    for (const char* bad : {"", "2024-02-29", "2024-13-01T00:00:00Z", "2024-02-29T12:34:56", "2024-02-29T12:34:56Zjunk"})
        EXPECT_FALSE(parseIso8601(bad, d)) << bad;
}

TEST(JsonTest, StrictTypesAndOptionalKeys) {
    const Json good = {{"groupingKey", "family:chrome"}, {"displayName", "Google Chrome"}, {"pids", {3, 1}}, {"isSelf", false}};
    auto id = ProcessIdentity::fromJson(good);
    EXPECT_FALSE(id.bundleID.has_value());
    EXPECT_EQ(id.toJson().count("bundleID"), 0u);
    EXPECT_EQ(ProcessIdentity::fromJson(id.toJson()), id);

    // A number is not a Boolean, a missing key fails, fractions and out-of-range values are not pids.
    for (const auto& [key, value] : {std::pair<const char*, Json>{"isSelf", 0}, {"displayName", nullptr},
                                     {"pids", {1.5}}, {"pids", {4294967296LL}}}) {
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
}

TEST(JsonTest, DateStrategiesAndEnums) {
    SystemMemorySnapshot s;
    s.pressure = MemoryPressureLevel::warning;
    s.timestamp = Date{100.5};
    EXPECT_EQ(s.toJson()["timestamp"], 100.5);
    EXPECT_EQ(s.toJson()["pressure"], "warning");
    {
        ScopedDateStrategy iso(DateStrategy::iso8601);
        EXPECT_EQ(s.toJson()["timestamp"], "2001-01-01T00:01:40Z");
    }
    EXPECT_EQ(SystemMemorySnapshot::fromJson(s.toJson()), s);
    Json bad = s.toJson();
    bad["pressure"] = "Warning";
    EXPECT_THROW(SystemMemorySnapshot::fromJson(bad), DecodeError);
}

TEST(UuidTest, FormatParseAndVersion) {
    const Uuid u = Uuid::random();
    const std::string text = u.toString();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
    EXPECT_EQ(Uuid::parse(text), u);
    std::string lowerText = utf8::lower(text);
    EXPECT_EQ(Uuid::parse(lowerText), u);
    EXPECT_NE(Uuid::random(), u);
    EXPECT_FALSE(Uuid::parse("not-a-uuid").has_value());
    EXPECT_FALSE(Uuid::parse("G0000000-0000-0000-0000-000000000000").has_value());
}

TEST(Utf8Test, CharactersTrimLowerShorten) {
    // A family emoji and a combining accent are one character each.
    EXPECT_EQ(utf8::characterCount("a\U0001F468\u200D\U0001F469\u200D\U0001F467e\u0301"), 3u);
    EXPECT_EQ(utf8::prefixCharacters("e\u0301xyz", 1), "e\u0301");
    EXPECT_EQ(utf8::trim("\u00A0\u2003 hi there\n\t\u3000"), "hi there");
    EXPECT_EQ(utf8::trim(" \n "), "");
    EXPECT_EQ(utf8::lower("ÄRGER Straße ÉCOLE"), "ärger straße école");
    const std::string hundred(100, 'x');
    EXPECT_EQ(utf8::shorten(hundred, 60, 57), std::string(57, 'x') + "\u2026");
    EXPECT_EQ(utf8::shorten("  " + std::string(60, 'y') + "  ", 60, 57), std::string(60, 'y'));
    EXPECT_EQ(utf8::sanitize("ok\xFF\xFEok"), "ok\uFFFD\uFFFDok");
    EXPECT_EQ(utf8::characterCount("\xFF"), 1u);
}

TEST(FileSystemTest, AtomicWriteReplacesWholeFileAndLeavesNoTemporaries) {
    TempDir dir;
    PosixFileSystem fs;
    const auto path = dir.file("nested/stories.json");
    EXPECT_EQ(fs.read(path).status, FileSystem::ReadStatus::missing);
    ASSERT_TRUE(fs.writeAtomically(path, "first"));
    ASSERT_TRUE(fs.writeAtomically(path, "second"));
    auto r = fs.read(path);
    EXPECT_EQ(r.status, FileSystem::ReadStatus::ok);
    EXPECT_EQ(r.contents, "second");
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.file("nested"))) { (void)e; ++files; }
    EXPECT_EQ(files, 1);

    // A write killed before its rename leaves a temporary; the next start clears only those.
    const std::string leftover = dir.file("nested/.stories.json." + Uuid::random().toString() + ".tmp");
    const std::string unrelated = dir.file("nested/.other.json." + Uuid::random().toString() + ".tmp");
    std::ofstream(leftover) << "partial";
    std::ofstream(unrelated) << "partial";
    fs.removeLeftoverTemporaries(path);
    EXPECT_FALSE(fs.exists(leftover));
    EXPECT_TRUE(fs.exists(unrelated));
    EXPECT_EQ(fs.read(path).contents, "second");
}

// An object holding the key and a value nested to `levels` in all.
std::string nested(int levels) {
    return "{\"Velmora.DeveloperMode\":true,\"x\":" + std::string(levels - 1, '[') + std::string(levels - 1, ']') + "}";
}

TEST(DefaultsTest, UnreadableFilesLoadAsDefaultsAndEachIsKeptUnderItsOwnName) {
    TempDir dir;
    PosixFileSystem fs;
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
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().filename().string().starts_with("defaults.json.bad-")) {
            const auto r = fs.readAtMost(e.path().string(), 1024 * 1024);
            kept.insert(r.status == FileSystem::ReadStatus::tooLarge ? "too large" : r.contents);
        }
    EXPECT_EQ(kept, (std::multiset<std::string>{bad[0], bad[1], bad[2], bad[3], "too large"}));
}

TEST(FileSystemTest, AWriteOverAFullDiskFailsAndLeavesTheOldFileWhole) {
    TempDir dir;
    PosixFileSystem fs;
    const auto path = dir.file("stories.json");
    ASSERT_TRUE(fs.writeAtomically(path, "old and whole"));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // a disk with 4 KiB left, as the file-size limit makes it
        const rlimit limit{4096, 4096};
        ::signal(SIGXFSZ, SIG_IGN);
        const bool wrote = ::setrlimit(RLIMIT_FSIZE, &limit) == 0 && fs.writeAtomically(path, std::string(10000, 'n'));
        ::_exit(wrote ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write reported success";
    EXPECT_EQ(fs.read(path).contents, "old and whole");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "a temporary was left behind";
}

TEST(PathsTest, XdgFallbacks) {
    auto env = [](std::map<std::string, std::string> m) {
        return [m](const std::string& k) -> std::optional<std::string> {
            auto it = m.find(k);
            if (it == m.end()) return std::nullopt;
            return it->second;
        };
    };
    EXPECT_EQ(XdgPaths(env({{"XDG_DATA_HOME", "/x/data"}, {"HOME", "/home/u"}})).applicationSupportDirectory(), "/x/data/Velmora");
    EXPECT_EQ(XdgPaths(env({{"XDG_DATA_HOME", "relative"}, {"HOME", "/home/u"}})).applicationSupportDirectory(),
              "/home/u/.local/share/Velmora");
    EXPECT_EQ(XdgPaths(env({})).applicationSupportDirectory(), "/tmp/Velmora");
    EXPECT_EQ(XdgPaths(env({{"HOME", "/home/u"}})).configDirectory(), "/home/u/.config/Velmora");
}

TEST(ManualSchedulerTest, FiresTimersInTimeOrderAndHonoursCancel) {
    FakeClock clock(Date{0});
    ManualScheduler s(clock);
    std::vector<std::pair<int, double>> fired;
    const auto a = s.scheduleRepeating(1.0, [&] { fired.push_back({1, clock.now().secondsSince2001}); });
    s.scheduleOnce(2.5, [&] {
        fired.push_back({2, clock.now().secondsSince2001});
        s.cancel(a);
    });
    s.advance(10);
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(fired[0], (std::pair<int, double>{1, 1.0}));
    EXPECT_EQ(fired[1], (std::pair<int, double>{1, 2.0}));
    EXPECT_EQ(fired[2], (std::pair<int, double>{2, 2.5}));
    EXPECT_EQ(clock.now().secondsSince2001, 10);
    EXPECT_EQ(s.activeTimers(), 0u);
}
