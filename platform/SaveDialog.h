#pragma once
#include <functional>
#include <optional>
#include <string>

namespace velmora {

// A non-modal save dialog for JSON files that may create folders.
class SaveDialog {
public:
    virtual ~SaveDialog() = default;
    // `completion` runs on the main thread with the chosen absolute path, or none when cancelled.
    virtual void chooseJsonFile(const std::string& suggestedName,
                                std::function<void(std::optional<std::string> path)> completion) = 0;
};

}  // namespace velmora
