#pragma once
#include <map>
#include <string>

#include "platform/DefaultsStore.h"
#include "platform/FileSystem.h"

namespace velmora {

// User defaults kept as one JSON object in a file, rewritten atomically on each change.
// A file that fails to parse is moved aside (never overwritten) and the defaults start empty.
class JsonFileDefaults final : public DefaultsStore {
public:
    JsonFileDefaults(FileSystem& files, std::string path);
    std::optional<Json> value(const std::string& key) const override;
    void setValue(const std::string& key, const Json& value) override;
    void remove(const std::string& key) override;

private:
    void save();
    FileSystem& files_;
    std::string path_;
    Json values_ = Json::object();
    bool setAsideFailed_ = false;
};

}  // namespace velmora
