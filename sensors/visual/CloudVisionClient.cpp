#include "sensors/visual/CloudVisionClient.h"

#include <uriparser/Uri.h>

#include <utility>

#include "engine/support/Json.h"
#include "engine/support/Utf8.h"
#include "platform/HttpsClient.h"

namespace velmora {

namespace {

std::string base64(const std::vector<std::uint8_t>& bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        for (int shift : {18, 12, 6, 0}) out += alphabet[(v >> shift) & 63];
    }
    if (const std::size_t rest = bytes.size() - i; rest > 0) {
        const unsigned v = bytes[i] << 16 | (rest == 2 ? bytes[i + 1] << 8 : 0);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += rest == 2 ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string_view range(const UriTextRangeA& r) {
    return r.first ? std::string_view(r.first, static_cast<std::size_t>(r.afterLast - r.first)) : std::string_view();
}

}  // namespace

const std::string& CloudVisionClient::prompt() {
    static const std::string text =
        "You are helping a local Linux memory timeline. Look at 1\u20133 screenshots of the user's active window "
        "(before/during/after a memory change).\n"
        "\n"
        "Describe ONLY the user-visible change or activity (apps, pages, tabs, video players, documents).\n"
        "Use probabilistic language (\"appears to\", \"looks like\").\n"
        "NEVER estimate RAM, memory usage, megabytes, or performance numbers.\n"
        "NEVER quote passwords, full email bodies, or banking details \u2014 say \"sensitive content redacted\" if "
        "seen.\n"
        "Keep under 60 words.";
    return text;
}

std::string CloudVisionClient::requestBody(const std::vector<ScreenshotRingBuffer::Frame>& frames,
                                           const std::optional<std::string>& hints) {
    std::string text = prompt();
    if (hints) text += "\nLocal OCR hints: " + *hints;
    Json content = Json::array({{{"type", "text"}, {"text", text}}});
    for (std::size_t i = 0; i < frames.size() && i < maxFrames; ++i)
        content.push_back({{"type", "image_url"},
                           {"image_url", {{"url", "data:image/jpeg;base64," + base64(frames[i].jpegData)}}}});
    const Json body{{"model", model},
                    {"messages", Json::array({{{"role", "user"}, {"content", std::move(content)}}})},
                    {"temperature", 0.2},
                    {"max_tokens", 120}};
    // Recognised text may hold broken UTF-8; it is sent with replacement characters.
    return body.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<std::string> CloudVisionClient::endpointURL(std::string_view base) {
    while (!base.empty() && base.back() == '/') base.remove_suffix(1);
    UriUriA uri;
    const char* errorPos = nullptr;
    if (base.empty() || uriParseSingleUriExA(&uri, base.data(), base.data() + base.size(), &errorPos) != URI_SUCCESS)
        return std::nullopt;
    const std::string scheme = utf8::lower(range(uri.scheme));
    const bool ok = (scheme == "https" || scheme == "http") && !range(uri.hostText).empty() &&
                    range(uri.userInfo).empty() && uri.pathHead == nullptr && uri.query.first == nullptr &&
                    uri.fragment.first == nullptr;
    uriFreeUriMembersA(&uri);
    if (!ok) return std::nullopt;
    return std::string(base) + std::string(path);
}

std::optional<std::string> CloudVisionClient::parseCloudResponse(int status, std::string_view body) {
    if (status < 200 || status > 299) return std::nullopt;
    const Json reply = Json::parse(body, nullptr, false);
    if (!reply.is_object()) return std::nullopt;
    const auto choices = reply.find("choices");
    if (choices == reply.end() || !choices->is_array() || choices->empty() || !(*choices)[0].is_object())
        return std::nullopt;
    const auto message = (*choices)[0].find("message");
    if (message == (*choices)[0].end() || !message->is_object()) return std::nullopt;
    const auto content = message->find("content");
    if (content == message->end() || !content->is_string()) return std::nullopt;
    return utf8::trim(content->get_ref<const std::string&>());
}

void CloudVisionClient::requestCloudDescription(const std::vector<ScreenshotRingBuffer::Frame>& frames,
                                                const std::string& key, const std::optional<std::string>& hints,
                                                std::string_view endpointBase,
                                                std::function<void(std::optional<std::string>)> done) {
    HttpsRequest request;
    if (auto url = endpointURL(endpointBase)) request.url = std::move(*url);
    request.headers = {{"Authorization", "Bearer " + key}, {"Content-Type", "application/json"}};
    request.body = requestBody(frames, hints);
    request.timeoutSeconds = timeoutSeconds;
    // An unusable address is refused by the client, so the answer still comes later.
    http_.send(std::move(request), [done = std::move(done)](std::optional<HttpsResponse> response) {
        done(response ? parseCloudResponse(response->status, response->body) : std::nullopt);
    });
}

}  // namespace velmora
