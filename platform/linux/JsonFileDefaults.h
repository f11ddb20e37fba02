#pragma once
#include <map>
#include <string>

#include "platform/DefaultsStore.h"
#include "platform/FileSystem.h"
#include "platform/Scheduler.h"

namespace velmora {

// User defaults kept as one JSON object in a file, rewritten atomically on each change.
// A file that fails to parse is moved aside (never overwritten) and the defaults start empty.
// Given a scheduler, changes are gathered and written at most once per `flushDelaySeconds`
// (values are served from memory meanwhile), so frequent small updates cost one write.
class JsonFileDefaults final : public DefaultsStore {
public:
    static constexpr double flushDelaySeconds = 5.0;

    JsonFileDefaults(FileSystem& files, std::string path, Scheduler* scheduler = nullptr);
    ~JsonFileDefaults() override;
    JsonFileDefaults(const JsonFileDefaults&) = delete;
    JsonFileDefaults& operator=(const JsonFileDefaults&) = delete;
    std::optional<Json> value(const std::string& key) const override;
    void setValue(const std::string& key, const Json& value) override;
    void remove(const std::string& key) override;
    // Writes pending changes now.
    void flush();

private:
    void changed();
    FileSystem& files_;
    Scheduler* scheduler_;
    Scheduler::TimerId pendingFlush_ = 0;
    bool dirty_ = false;
    std::string path_;
    Json values_ = Json::object();
    bool setAsideFailed_ = false;
};

}  // namespace velmora
