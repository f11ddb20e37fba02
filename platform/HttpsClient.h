#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

struct HttpsRequest {
    std::string url;
    std::string method = "POST";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    double timeoutSeconds = 30.0;
    std::size_t maxReplyBytes = 1 << 20;
};

struct HttpsResponse {
    int status = 0;
    std::string body;
    bool operator==(const HttpsResponse&) const = default;
};

// One request at a time per call. Only https addresses are sent, except to a loopback host;
// certificates are checked and redirects are not followed (a 3xx comes back as it is).
class HttpsClient {
public:
    virtual ~HttpsClient() = default;
    // `done` runs once on the main thread, never inside this call: with the reply, or nothing
    // on a refused address, transport error, timeout or a reply longer than maxReplyBytes.
    virtual void send(HttpsRequest request, std::function<void(std::optional<HttpsResponse>)> done) = 0;
};

}  // namespace velmora
