#include "platform/linux/JsonFileDefaults.h"

#include <chrono>

namespace velmora {

JsonFileDefaults::JsonFileDefaults(FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {
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

void JsonFileDefaults::setValue(const std::string& key, const Json& value) {
    values_[key] = value;
    save();
}

void JsonFileDefaults::remove(const std::string& key) {
    if (values_.erase(key) > 0) save();
}

void JsonFileDefaults::save() {
    if (setAsideFailed_) return;  // never overwrite a file we could not read or set aside
    files_.writeAtomically(path_, values_.dump());
}

}  // namespace velmora
