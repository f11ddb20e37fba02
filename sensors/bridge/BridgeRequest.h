#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// One HTTP request to the extension bridge, accumulated chunk by chunk as the socket delivers
// it: the header block up to the first CR LF CR LF, then exactly Content-Length body bytes.
// Knows nothing of sockets, so it is tested and fuzzed on bytes alone.
class BridgeRequest {
public:
    static constexpr std::uint16_t port = 18765;
    // The largest request (headers and body) still parsed, and the cap on the body length.
    static constexpr std::size_t requestCap = 262144;
    // Every complete request gets these 101 bytes, whatever it asked.
    static constexpr std::string_view acknowledgement =
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\nConnection: close\r\n\r\n"
        "{\"ok\":true}";

    enum class State { receiving, complete, tooLarge };

    // `servedPort`: the port the Host header must name.
    explicit BridgeRequest(std::uint16_t servedPort = port) : servedPort_(servedPort) {}

    // Appends a chunk. Once complete or too large, later chunks change nothing.
    State append(std::string_view chunk);
    State state() const { return state_; }

    // Valid once complete.
    bool isPost() const { return isPost_; }
    // False for a request a web page could have made: an Origin that is not one of the browser
    // extensions', or a Host that is not this machine's loopback on the served port.
    bool isFromExtensionOrLocalTool() const { return trusted_; }
    // The first Content-Length bytes after the header block.
    std::string_view payload() const;

    // The first Content-Length header's value; none when it is missing or not a whole number.
    static std::optional<std::int64_t> contentLength(std::string_view headerText);

private:
    void headerBlockEnded(std::size_t terminatorAt);

    std::uint16_t servedPort_;
    std::string buffer_;
    State state_ = State::receiving;
    std::size_t searchFrom_ = 0;                // the header search resumes here
    std::optional<std::size_t> bodyStart_;      // set once the header block has ended
    std::size_t bodyLength_ = 0;
    bool isPost_ = false;
    bool trusted_ = false;
};

}  // namespace velmora
