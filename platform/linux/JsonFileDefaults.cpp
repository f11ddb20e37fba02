#include "platform/linux/JsonFileDefaults.h"

#include <chrono>

#include "engine/support/StoredArrayFile.h"

namespace velmora {

JsonFileDefaults::JsonFileDefaults(FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {
    files_.removeLeftoverTemporaries(path_);
    if (auto stored = readStored()) values_ = std::move(*stored);
}

std::optional<Json> JsonFileDefaults::readStored() {
    const auto r = files_.readAtMost(path_, maxStoredFileBytes);
    if (r.status == FileSystem::ReadStatus::missing) return std::nullopt;
    if (r.status == FileSystem::ReadStatus::ok) {
        if (auto j = parseJson(r.contents); j && j->is_object()) return j;
    }
    // Nothing in it can be used: move it out of the way for the user, and write only once it is.
    setAsideFailed_ = !setAside();
    return std::nullopt;
}

bool JsonFileDefaults::setAside() {
    const auto unix = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    return setAsideUnreadable(files_, path_, Date::fromUnix(unix), nullptr);
}

std::optional<Json> JsonFileDefaults::value(const std::string& key) const {
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return *it;
}

void JsonFileDefaults::setValue(const std::string& key, const Json& value) {
    values_[key] = value;
    unwritten_[key] = value;
    write();
}

void JsonFileDefaults::remove(const std::string& key) {
    if (values_.erase(key) == 0) return;
    unwritten_[key] = std::nullopt;
    write();
}

void JsonFileDefaults::write() {
    if (setAsideFailed_) return;  // never overwrite a file we could not read or set aside
    // Another process may have written since we read: its keys stay, ours go on top. A file that
    // went missing or bad since gets what we know.
    Json merged = readStored().value_or(values_);
    if (setAsideFailed_) return;
    for (const auto& [key, change] : unwritten_) {
        if (change) merged[key] = *change;
        else merged.erase(key);
    }
    values_ = std::move(merged);
    // Invalid UTF-8 in a value is replaced rather than failing the whole write.
    if (files_.writeAtomically(path_, values_.dump(-1, ' ', false, Json::error_handler_t::replace))) unwritten_.clear();
}

}  // namespace velmora
