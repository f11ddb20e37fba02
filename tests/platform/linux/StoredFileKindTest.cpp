#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "engine/stories/TimelineStore.h"
#include "platform/linux/JsonFileDefaults.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/engine/settings/StoreFiles.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

enum class Planted { fifo, folder, device };

void plant(Planted kind, const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    switch (kind) {
        case Planted::fifo: ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); break;
        case Planted::folder: ASSERT_TRUE(fs::create_directory(path)); break;
        case Planted::device: fs::create_symlink("/dev/zero", path); break;
    }
}

// The one copy set aside beside `path`, as it lies (a symlink is not followed).
fs::file_type setAsideType(const std::string& path) {
    const auto copies = filesStarting(fs::path(path).parent_path().string(), fs::path(path).filename().string() + ".bad-");
    return copies.size() == 1 ? fs::symlink_status(copies[0]).type() : fs::file_type::none;
}

TEST(StoredFileKindTest, AFifoFolderOrDeviceInPlaceOfAStoredFileIsSetAsideAndTheStoreStartsFresh) {
    const struct {
        const char* name;
        Planted kind;
        fs::file_type kept;
    } cases[] = {
        {"fifo", Planted::fifo, fs::file_type::fifo},
        {"folder", Planted::folder, fs::file_type::directory},
        {"device", Planted::device, fs::file_type::symlink},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string stories = dir.file("data/stories.json"), defaults = dir.file("config/defaults.json");
        plant(c.kind, stories);
        plant(c.kind, defaults);
        // Started in a child under a watchdog, so that a read that blocks fails here instead of hanging.
        const int status = statusOfChild([&] {
            ::alarm(30);
            PosixFileSystem files;
            if (files.readAtMost(stories, 1024).status != FileSystem::ReadStatus::failed) return 3;
            FakeClock clock(Date::fromUnix(1'800'000'000));
            TimelineStore store(files, stories, clock);
            if (!store.events().empty()) return 4;
            store.add({.id = Uuid::random(), .timestamp = clock.now(), .title = "Editor grew"});
            JsonFileDefaults settings(files, defaults);
            settings.setValue("Velmora.DeveloperMode", true);
            return 0;
        });
        ASSERT_TRUE(WIFEXITED(status)) << "start-up blocked on the planted file";
        EXPECT_EQ(WEXITSTATUS(status), 0);

        PosixFileSystem files;
        EXPECT_EQ(fs::symlink_status(stories).type(), fs::file_type::regular);
        EXPECT_NE(files.read(stories).contents.find("\"Editor grew\""), std::string::npos);
        EXPECT_EQ(files.read(defaults).contents, "{\"Velmora.DeveloperMode\":true}");
        EXPECT_EQ(fs::exists(stories + ".bad-1800000000"), true);
        EXPECT_EQ(setAsideType(stories), c.kept);
        EXPECT_EQ(setAsideType(defaults), c.kept);
    }
}

}  // namespace
}  // namespace velmora
