#include "platform/linux/JsonFileDefaults.h"

#include <chrono>

namespace velmora {

JsonFileDefaults::JsonFileDefaults(FileSystem& files, std::string path, Scheduler* scheduler)
    : files_(files), scheduler_(scheduler), path_(std::move(path)) {
    files_.removeLeftoverTemporaries(path_);
    const auto r = files_.read(path_);
    if (r.status == FileSystem::ReadStatus::missing) return;
    if (r.status == FileSystem::ReadStatus::ok) {
        if (auto j = parseJson(r.contents); j && j->is_object()) {
            values_ = std::move(*j);
            return;
        }
    }
    // Keep the unreadable file for the user; only write once it is out of the way.
    const auto stamp = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::system_clock::now().time_since_epoch()).count();
    setAsideFailed_ = !files_.move(path_, path_ + ".bad-" + std::to_string(stamp));
}

std::optional<Json> JsonFileDefaults::value(const std::string& key) const {
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return *it;
}

JsonFileDefaults::~JsonFileDefaults() {
    if (pendingFlush_ != 0) scheduler_->cancel(pendingFlush_);
    flush();
}

void JsonFileDefaults::setValue(const std::string& key, const Json& value) {
    values_[key] = value;
    changed();
}

void JsonFileDefaults::remove(const std::string& key) {
    if (values_.erase(key) > 0) changed();
}

void JsonFileDefaults::changed() {
    dirty_ = true;
    if (!scheduler_) {
        flush();
        return;
    }
    if (pendingFlush_ == 0) {
        pendingFlush_ = scheduler_->scheduleOnce(flushDelaySeconds, [this] {
            pendingFlush_ = 0;
            flush();
        });
    }
}

void JsonFileDefaults::flush() {
    if (!dirty_ || setAsideFailed_) return;  // never overwrite a file we could not read or set aside
    // Invalid UTF-8 in a value is replaced rather than failing the whole write.
    if (files_.writeAtomically(path_, values_.dump(-1, ' ', false, Json::error_handler_t::replace))) dirty_ = false;
}

}  // namespace velmora
