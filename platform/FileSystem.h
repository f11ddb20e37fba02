#pragma once
#include <cstddef>
#include <optional>
#include <string>

namespace velmora {

// Files as the stores need them. Paths are absolute.
class FileSystem {
public:
    enum class ReadStatus { ok, missing, failed, tooLarge };
    struct ReadResult {
        ReadStatus status = ReadStatus::missing;
        std::string contents;
    };

    virtual ~FileSystem() = default;
    virtual ReadResult read(const std::string& path) const = 0;
    // As read, but a file of more than `maxBytes` is tooLarge, with no contents. Implementations
    // that can tell the size first should not read such a file at all.
    virtual ReadResult readAtMost(const std::string& path, std::size_t maxBytes) const {
        ReadResult r = read(path);
        if (r.status == ReadStatus::ok && r.contents.size() > maxBytes) return {ReadStatus::tooLarge, {}};
        return r;
    }
    // Writes a temporary file in the same folder, flushes it to disk and renames it over `path`,
    // so readers see the old file or the new one, never a mix. Creates the folder when needed.
    virtual bool writeAtomically(const std::string& path, const std::string& contents) = 0;
    // Renames `from` to `to`; false when it fails.
    virtual bool move(const std::string& from, const std::string& to) = 0;
    virtual bool exists(const std::string& path) const = 0;
    // Removes temporary files that an interrupted atomic write of `path` left behind.
    virtual void removeLeftoverTemporaries(const std::string& path) {}
};

}  // namespace velmora
