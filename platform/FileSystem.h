#pragma once
#include <optional>
#include <string>

namespace velmora {

// Files as the stores need them. Paths are absolute.
class FileSystem {
public:
    enum class ReadStatus { ok, missing, failed };
    struct ReadResult {
        ReadStatus status = ReadStatus::missing;
        std::string contents;
    };

    virtual ~FileSystem() = default;
    virtual ReadResult read(const std::string& path) const = 0;
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
