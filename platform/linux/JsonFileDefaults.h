#pragma once
#include <map>
#include <optional>
#include <string>

#include "platform/DefaultsStore.h"
#include "platform/FileSystem.h"

namespace velmora {

// User defaults kept as one JSON object in a file, rewritten atomically on every change, so a
// setting survives a crash right after it. A file that cannot be read (malformed, nested too deep,
// too large, not an object) is set aside under a name of its own, never overwritten, and the
// defaults start empty.
//
// Every write reads the file again and lays only this process's own changes on top, so a key that
// another process stored since this one read the file is kept (and then read here too).
class JsonFileDefaults final : public DefaultsStore {
public:
    JsonFileDefaults(FileSystem& files, std::string path);
    std::optional<Json> value(const std::string& key) const override;
    void setValue(const std::string& key, const Json& value) override;
    void remove(const std::string& key) override;

private:
    // The file's object as it stands now; nullopt when it is missing or was just set aside.
    std::optional<Json> readStored();
    bool setAside();
    void write();
    FileSystem& files_;
    std::string path_;
    Json values_ = Json::object();
    std::map<std::string, std::optional<Json>> unwritten_;  // own changes not yet on disk; nullopt: removed
    bool setAsideFailed_ = false;
};

}  // namespace velmora
