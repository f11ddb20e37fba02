#pragma once
#include <set>
#include <string>

#include "platform/FileSystem.h"

namespace velmora {

// A file system that only says which files exist, counting the questions asked; it reads and
// writes nothing.
class ExistingFiles final : public FileSystem {
public:
    explicit ExistingFiles(std::set<std::string> paths) : paths_(std::move(paths)) {}
    ReadResult read(const std::string&) const override { return {}; }
    bool writeAtomically(const std::string&, const std::string&) override { return false; }
    bool move(const std::string&, const std::string&) override { return false; }
    bool exists(const std::string& path) const override {
        ++asked;
        return paths_.contains(path);
    }
    mutable int asked = 0;

private:
    std::set<std::string> paths_;
};

}  // namespace velmora
