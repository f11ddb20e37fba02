#pragma once
#include <string>

namespace velmora {

// Where the application keeps its files.
class Paths {
public:
    virtual ~Paths() = default;
    // "$XDG_DATA_HOME/Velmora", else "~/.local/share/Velmora", else a private folder of this user
    // ("$XDG_RUNTIME_DIR/Velmora" or "<temp>/Velmora-<uid>", made with mode 0700).
    virtual std::string applicationSupportDirectory() const = 0;
    // "$XDG_CONFIG_HOME/Velmora", else "~/.config/Velmora", else "config" in that private folder.
    virtual std::string configDirectory() const = 0;
};

}  // namespace velmora
