#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora {

// On-device text recognition of JPEG pictures.
class TextRecognizer {
public:
    using Lines = std::vector<std::string>;
    virtual ~TextRecognizer() = default;
    // Reads every picture off the main thread; `done` then runs on the main thread, never inside
    // this call, with one list of lines per picture in the given order (empty for a picture that
    // could not be decoded or read). A recognizer destroyed first drops its pending calls.
    virtual void recognize(std::vector<std::vector<std::uint8_t>> jpegs,
                           std::function<void(std::vector<Lines>)> done) = 0;
};

}  // namespace velmora
