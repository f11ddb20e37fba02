#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sensors/visual/ScreenshotRingBuffer.h"

namespace velmora {

class HttpsClient;

// The optional cloud description of up to three frames: one request to a chat-completions
// service that accepts images. The key comes from the caller on each request and is kept
// nowhere.
class CloudVisionClient {
public:
    static constexpr std::string_view keyVariable = "XAI_API_KEY";
    // The service's base address ("https://host[:port]"); the service the key belongs to by default.
    static constexpr std::string_view endpointVariable = "VELMORA_VISION_ENDPOINT";
    static constexpr std::string_view defaultEndpoint = "https://api.x.ai";
    static constexpr std::string_view path = "/v1/chat/completions";
    static constexpr std::string_view model = "grok-2-vision-1212";
    static constexpr std::size_t maxFrames = 3;
    static constexpr double timeoutSeconds = 45.0;

    explicit CloudVisionClient(HttpsClient& http) : http_(http) {}

    // The instructions sent with the pictures.
    static const std::string& prompt();
    // The JSON body for the first three frames, with the hints appended to the prompt when given.
    static std::string requestBody(const std::vector<ScreenshotRingBuffer::Frame>& frames,
                                   const std::optional<std::string>& hints);
    // The request address for a configured base address ("https://host[:port]", a trailing
    // slash allowed); nothing when it has a path, query, user part or no host.
    static std::optional<std::string> endpointURL(std::string_view base);
    // The trimmed description of a reply, or nothing unless it is a 2xx with a string at
    // choices[0].message.content.
    static std::optional<std::string> parseCloudResponse(int status, std::string_view body);

    // `done` gets the description, or nothing on any failure; it runs on the main thread.
    void requestCloudDescription(const std::vector<ScreenshotRingBuffer::Frame>& frames, const std::string& key,
                                 const std::optional<std::string>& hints, std::string_view endpointBase,
                                 std::function<void(std::optional<std::string>)> done);

private:
    HttpsClient& http_;
};

}  // namespace velmora
