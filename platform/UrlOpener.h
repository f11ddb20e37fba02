#pragma once
#include <string>

namespace velmora {

// Hands an address to the desktop's default handler.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // False when nothing could open it.
    virtual bool open(const std::string& url) = 0;
};

}  // namespace velmora
