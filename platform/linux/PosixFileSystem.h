#pragma once
#include "platform/FileSystem.h"

namespace velmora {

class PosixFileSystem final : public FileSystem {
public:
    ReadResult read(const std::string& path) const override;
    ReadResult readAtMost(const std::string& path, std::size_t maxBytes) const override;
    bool writeAtomically(const std::string& path, const std::string& contents) override;
    bool move(const std::string& from, const std::string& to) override;
    bool exists(const std::string& path) const override;
    void removeLeftoverTemporaries(const std::string& path) override;
};

}  // namespace velmora
