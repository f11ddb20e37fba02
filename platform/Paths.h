#pragma once
#include <string>

namespace velmora {

// Where the application keeps its files.
class Paths {
public:
    virtual ~Paths() = default;
    // "$XDG_DATA_HOME/Velmora", else "~/.local/share/Velmora", else "<temp>/Velmora".
    virtual std::string applicationSupportDirectory() const = 0;
    // "$XDG_CONFIG_HOME/Velmora", else "~/.config/Velmora", else "<temp>/Velmora-config".
    virtual std::string configDirectory() const = 0;
};

}  // namespace velmora
