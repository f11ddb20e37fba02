#include "platform/linux/JsonFileDefaults.h"

#include <chrono>

#include "engine/support/StoredArrayFile.h"

namespace velmora {

JsonFileDefaults::JsonFileDefaults(FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {
    files_.removeLeftoverTemporaries(path_);
    const auto r = files_.readAtMost(path_, maxStoredFileBytes);
    if (r.status == FileSystem::ReadStatus::missing) return;
    if (r.status == FileSystem::ReadStatus::ok) {
        if (auto j = parseJson(r.contents); j && j->is_object()) {
            values_ = std::move(*j);
            return;
        }
    }
    // Nothing in it can be used: move it out of the way for the user, and write only once it is.
    const auto unix = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    setAsideFailed_ = !setAsideUnreadable(files_, path_, Date::fromUnix(unix), nullptr);
}

std::optional<Json> JsonFileDefaults::value(const std::string& key) const {
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return *it;
}

void JsonFileDefaults::setValue(const std::string& key, const Json& value) {
    values_[key] = value;
    write();
}

void JsonFileDefaults::remove(const std::string& key) {
    if (values_.erase(key) > 0) write();
}

void JsonFileDefaults::write() {
    if (setAsideFailed_) return;  // never overwrite a file we could not read or set aside
    // Invalid UTF-8 in a value is replaced rather than failing the whole write.
    files_.writeAtomically(path_, values_.dump(-1, ' ', false, Json::error_handler_t::replace));
}

}  // namespace velmora
