#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "platform/linux/XdgPaths.h"
#include "tests/fakes/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// "<run>" and "<tmp>" at the start of a value stand for folders of the test.
std::string expand(std::string s, const std::string& run, const std::string& tmp) {
    if (s.starts_with("<run>")) s.replace(0, 5, run);
    if (s.starts_with("<tmp>")) s.replace(0, 5, tmp);
    return s;
}

XdgPaths pathsWith(const std::map<std::string, std::string>& env, const std::string& run, const std::string& tmp) {
    std::map<std::string, std::string> resolved;
    for (const auto& [key, value] : env) resolved[key] = expand(value, run, tmp);
    return XdgPaths([resolved](const std::string& k) { return resolved.contains(k) ? std::optional(resolved.at(k)) : std::nullopt; });
}

unsigned modeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(XdgPathsTest, WithoutAHomeTheFilesGoToAPrivateFolderOfThisUser) {
    const std::string uid = std::to_string(::geteuid());
    const struct {
        std::map<std::string, std::string> env;
        std::string data, config;
    } cases[] = {
        {{{"XDG_DATA_HOME", "/x/data"}, {"XDG_CONFIG_HOME", "/x/conf"}, {"TMPDIR", "<tmp>"}}, "/x/data/Velmora", "/x/conf/Velmora"},
        {{{"HOME", "/home/u"}, {"XDG_RUNTIME_DIR", "<run>"}}, "/home/u/.local/share/Velmora", "/home/u/.config/Velmora"},
        {{{"XDG_RUNTIME_DIR", "<run>"}, {"TMPDIR", "<tmp>"}}, "<run>/Velmora", "<run>/Velmora/config"},
        {{{"HOME", "home"}, {"XDG_RUNTIME_DIR", "<run>//"}}, "<run>/Velmora", "<run>/Velmora/config"},
        {{{"XDG_RUNTIME_DIR", "run"}, {"TMPDIR", "<tmp>/"}}, "<tmp>/Velmora-" + uid, "<tmp>/Velmora-" + uid + "/config"},
        {{{"HOME", ""}, {"TMPDIR", "<tmp>"}, {"XDG_DATA_HOME", "/x/data"}}, "/x/data/Velmora", "<tmp>/Velmora-" + uid + "/config"},
    };
    for (const auto& c : cases) {
        TempDir run, tmp;
        const XdgPaths paths = pathsWith(c.env, run.path(), tmp.path());
        const std::string data = expand(c.data, run.path(), tmp.path()), config = expand(c.config, run.path(), tmp.path());
        SCOPED_TRACE(config);
        EXPECT_EQ(paths.applicationSupportDirectory(), data);
        EXPECT_EQ(paths.configDirectory(), config);
        if (c.config.ends_with("/config")) EXPECT_EQ(modeOf(config.substr(0, config.size() - 7)), 0700u);
    }
}

TEST(XdgPathsTest, AFolderPlantedUnderTheUsualNameIsNeverUsed) {
    const std::string uid = std::to_string(::geteuid());
    enum class Plant { openFolder, link, file, othersFolder, nothingUnderTightUmask };
    const struct {
        const char* name;
        Plant plant;
        bool refused;  // the usual name is refused and a fresh folder made instead
    } cases[] = {
        {"mode 0777", Plant::openFolder, true},
        {"symlink to a private folder", Plant::link, true},
        {"a file", Plant::file, true},
        {"another user's folder", Plant::othersFolder, true},
        {"made under umask 0277", Plant::nothingUnderTightUmask, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        const std::string usual = tmp.file("Velmora-" + uid), mine = tmp.file("mine");
        ASSERT_EQ(::mkdir(mine.c_str(), 0700), 0);
        mode_t mask = 022;
        switch (c.plant) {
            case Plant::openFolder:
                ASSERT_EQ(::mkdir(usual.c_str(), 0700), 0);
                ASSERT_EQ(::chmod(usual.c_str(), 0777), 0);
                break;
            case Plant::link: fs::create_directory_symlink(mine, usual); break;
            case Plant::file: ASSERT_EQ(::close(::open(usual.c_str(), O_CREAT | O_WRONLY, 0600)), 0); break;
            case Plant::othersFolder:
                ASSERT_EQ(::mkdir(usual.c_str(), 0700), 0);
                ASSERT_EQ(::chown(usual.c_str(), ::geteuid() + 4242, ::getegid()), 0) << "needs root";
                break;
            case Plant::nothingUnderTightUmask: mask = 0277; break;
        }
        // The runtime folder named does not exist, so the temporary folder is next.
        const XdgPaths paths = pathsWith({{"TMPDIR", "<tmp>"}, {"XDG_RUNTIME_DIR", "<run>"}}, tmp.file("gone"), tmp.path());
        const mode_t old = ::umask(mask);
        const std::string data = paths.applicationSupportDirectory();
        ::umask(old);
        EXPECT_EQ(paths.configDirectory(), data + "/config");
        EXPECT_EQ(modeOf(data), 0700u);
        EXPECT_EQ(fs::is_symlink(data), false);
        if (c.refused) {
            EXPECT_TRUE(data.starts_with(usual + "-")) << data;
            EXPECT_EQ(data.size(), usual.size() + 7);
        } else {
            EXPECT_EQ(data, usual);
        }
        EXPECT_EQ(fs::is_empty(mine), true);
    }
}

}  // namespace
}  // namespace velmora
