// Two processes on one defaults file: what each writes keeps what the other stored, and the copy
// that Install starts reads the file only once the instance it replaces has ended.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "app/qt/SingleInstance.h"
#include "platform/linux/JsonFileDefaults.h"
#include "platform/linux/LinuxStableInstaller.h"
#include "tests/engine/settings/StoreFiles.h"
#include "tests/fakes/TempDir.h"

namespace velmora {
namespace {

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::trunc | std::ios::binary) << text;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SharedDefaults, EachWriteKeepsWhatTheOtherStored) {
    struct Step {
        char who;  // 'a' or 'b' sets `key` to `value` (removes it when absent); '!' replaces the file by `key`
        std::string key;
        std::optional<Json> value;
    };
    struct Row {
        const char* name;
        std::optional<std::string> initial;
        std::vector<Step> steps;
        std::string want;
        bool refuseMoves = false;
        std::string wantSetAside;
    };
    const Row rows[] = {
        {"a flag stored elsewhere survives",
         R"({"Velmora.StableHintDismissed":true})",
         {{'a', "Velmora.FirstRunCompleted", true}, {'b', "Velmora.DeveloperMode", false}},
         R"({"Velmora.DeveloperMode":false,"Velmora.FirstRunCompleted":true,"Velmora.StableHintDismissed":true})"},
        {"no file yet", std::nullopt,
         {{'b', "x", 1}, {'a', "y", "two"}},
         R"({"x":1,"y":"two"})"},
        {"the later write of a key wins, and is not undone by the earlier writer's next change", "{}",
         {{'a', "k", 1}, {'b', "k", 2}, {'a', "j", 3}},
         R"({"j":3,"k":2})"},
        {"a removal takes only its own key", R"({"j":2,"k":1})",
         {{'a', "n", 5}, {'b', "j", std::nullopt}},
         R"({"k":1,"n":5})"},
        {"a key removed elsewhere is not brought back", R"({"k":1})",
         {{'a', "k", std::nullopt}, {'b', "j", 2}},
         R"({"j":2})"},
        {"damaged since it was read: set aside, then written", R"({"k":1})",
         {{'a', "j", 2}, {'!', "{\"k\": tr"}, {'b', "m", 3}},
         R"({"k":1,"m":3})", false, "{\"k\": tr"},
        {"damaged since it was read and cannot be set aside: left alone", R"({"k":1})",
         {{'!', "[4]"}, {'a', "j", 2}},
         "[4]", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        RecordingFileSystem fs;
        const std::string path = dir.file("defaults.json");
        if (row.initial) writeText(path, *row.initial);
        JsonFileDefaults a(fs, path), b(fs, path);
        fs.refuseMoves = row.refuseMoves;
        JsonFileDefaults* last = nullptr;
        for (const auto& step : row.steps) {
            if (step.who == '!') {
                writeText(path, step.key);
                continue;
            }
            last = step.who == 'a' ? &a : &b;
            if (step.value) last->setValue(step.key, *step.value);
            else last->remove(step.key);
        }
        EXPECT_EQ(readText(path), row.want);
        const auto setAside = filesStarting(dir.path(), "defaults.json.bad-");
        EXPECT_EQ(setAside.size(), row.wantSetAside.empty() ? 0u : 1u);
        if (!setAside.empty()) {
            EXPECT_EQ(readText(setAside.front()), row.wantSetAside);
        }
        // The last writer now reads what the other stored, too.
        if (const auto stored = parseJson(row.want); stored && stored->is_object()) {
            for (const auto& [key, value] : stored->items()) EXPECT_EQ(last->value(key), value) << key;
        }
    }
}

TEST(SharedDefaults, TheCopyInstallStartsReadsTheFlagSetJustBeforeTheOldOneEnded) {
    TempDir dir;
    const std::string path = dir.file("defaults.json");
    writeText(path, R"({"Velmora.StableHintDismissed":true})");
    int report[2], loaded[2];
    ASSERT_EQ(::pipe(report), 0);
    ASSERT_EQ(::pipe(loaded), 0);
    const pid_t old = ::fork();
    ASSERT_GE(old, 0);
    if (old == 0) {
        ::close(report[0]);
        PosixFileSystem files;
        JsonFileDefaults defaults(files, path);  // read when the old instance started
        if (::fork() == 0) {                     // the copy it starts
            ::close(loaded[0]);
            ::signal(SIGPIPE, SIG_IGN);  // nobody listens to "loaded" once the old instance is gone
            ::setenv(LinuxStableInstaller::replacedInstanceVariable, std::to_string(::getppid()).c_str(), 1);
            const bool waited = LinuxStableInstaller::waitForReplacedInstance(20.0);
            PosixFileSystem mine;
            JsonFileDefaults copy(mine, path);
            [[maybe_unused]] auto n = ::write(loaded[1], "L", 1);
            const bool sawFlag = copy.boolValue("Velmora.FirstRunCompleted");
            copy.setValue("Velmora.DeveloperMode", true);
            const char line[] = {waited ? 'w' : '-', sawFlag ? 'f' : '-'};
            n = ::write(report[1], line, sizeof line);
            ::_exit(0);
        }
        ::close(report[1]);
        ::close(loaded[1]);
        // Install marks the first run done and then ends, a moment after the copy started: here
        // once the copy says it has read the file, or after a second when it does not.
        pollfd p{loaded[0], POLLIN, 0};
        ::poll(&p, 1, 1000);
        defaults.setValue("Velmora.FirstRunCompleted", true);
        ::_exit(0);
    }
    ::close(report[1]);
    ::close(loaded[0]);
    ::close(loaded[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(old, &status, 0), old);
    std::string line;
    char buffer[8];
    while (const auto n = ::read(report[0], buffer, sizeof buffer)) {
        if (n < 0) break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(report[0]);
    EXPECT_EQ(line, "wf") << "w: the copy waited for the old instance, f: it read the first-run flag";
    EXPECT_EQ(readText(path),
              R"({"Velmora.DeveloperMode":true,"Velmora.FirstRunCompleted":true,"Velmora.StableHintDismissed":true})");
}

TEST(SharedDefaults, OnlyTheParentNamedByInstallIsWaitedFor) {
    struct Row {
        const char* name;
        std::optional<std::string> named;  // "parent": the pid of the process that started it
        int want;                          // 1: returned at once as free to go, 0: waited in vain
    };
    const Row rows[] = {
        {"not started by Install", std::nullopt, 1},
        {"not a number", "12ab", 1},
        {"empty", "", 1},
        {"another process", "1", 1},
        {"the parent, which does not end", "parent", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const int status = statusOfChild([&] {
            const char* variable = LinuxStableInstaller::replacedInstanceVariable;
            ::unsetenv(variable);
            if (row.named) ::setenv(variable, *row.named == "parent" ? std::to_string(::getppid()).c_str() : row.named->c_str(), 1);
            const bool free = LinuxStableInstaller::waitForReplacedInstance(0.3);
            // Not passed on to whatever this process starts.
            return std::getenv(variable) ? 7 : free ? 1 : 0;
        });
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), row.want);
    }
}

TEST(SharedDefaults, TheInstanceLockLivesInAFolderOnlyThisUserCanEnter) {
    struct Row {
        const char* name;
        const char* runtime;  // made with `mode` under the test folder; nullptr: no $XDG_RUNTIME_DIR
        unsigned mode;
        bool plantFile;  // a file already sits at the per-user name in the temporary folder
        const char* want;  // "runtime", "per-user" or "" (none)
    };
    const Row rows[] = {
        {"the session folder", "run", 0700, false, "runtime"},
        {"a session folder others may enter", "run", 0755, false, "per-user"},
        {"no session folder", nullptr, 0, false, "per-user"},
        {"a relative session folder", "relative", 0700, false, "per-user"},
        {"the per-user name taken by a file", nullptr, 0, true, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string temp = dir.file("tmp"), perUser = temp + "/Velmora-" + std::to_string(::geteuid());
        std::filesystem::create_directories(temp);
        if (row.plantFile) writeText(perUser, "planted");
        std::string runtime;
        if (row.runtime) {
            runtime = std::string(row.runtime) == "relative" ? "run" : dir.file(row.runtime);
            ::mkdir(dir.file("run").c_str(), 0700);
            ::chmod(dir.file("run").c_str(), row.mode);
        }
        const char* savedTemp = std::getenv("TMPDIR");
        const std::string saved = savedTemp ? savedTemp : "";
        ::setenv("TMPDIR", temp.c_str(), 1);
        const std::string got = privateRuntimeFolder(row.runtime ? runtime.c_str() : nullptr);
        savedTemp ? ::setenv("TMPDIR", saved.c_str(), 1) : ::unsetenv("TMPDIR");
        const std::string want = std::string(row.want) == "runtime" ? dir.file("run")
                                 : std::string(row.want) == "per-user" ? perUser : "";
        EXPECT_EQ(got, want);
        struct stat st {};
        if (!got.empty()) {
            ASSERT_EQ(::stat(got.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0700u);
        }
        if (row.plantFile) {
            EXPECT_EQ(readText(perUser), "planted");
        }
    }
}

}  // namespace
}  // namespace velmora
