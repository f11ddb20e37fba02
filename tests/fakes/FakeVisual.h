#pragma once
// Fakes of the screen, text recognition and HTTPS, answering when the test says so.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/HttpsClient.h"
#include "platform/ScreenCapture.h"
#include "platform/TextRecognizer.h"

namespace velmora {

inline std::vector<std::uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }
inline std::string textOf(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// Windows are sizes; a "JPEG" is the text "<id>@<width>x<height>".
class FakeScreenCapture final : public ScreenCapture {
public:
    struct Image final : WindowImage {
        std::uint64_t id;
        int w, h;
        Image(std::uint64_t i, int width, int height) : id(i), w(width), h(height) {}
        int width() const override { return w; }
        int height() const override { return h; }
    };
    std::unique_ptr<WindowImage> captureWindow(std::uint64_t windowId) override {
        captured.push_back(windowId);
        const auto it = sizes.find(windowId);
        if (it == sizes.end()) return nullptr;
        return std::make_unique<Image>(windowId, it->second.first, it->second.second);
    }
    std::optional<std::vector<std::uint8_t>> encodeJpeg(const WindowImage& image, int width, int height,
                                                        double quality) override {
        qualities.push_back(quality);
        if (failEncoding) return std::nullopt;
        const auto& i = static_cast<const Image&>(image);
        return bytesOf(std::to_string(i.id) + "@" + std::to_string(width) + "x" + std::to_string(height));
    }
    std::map<std::uint64_t, std::pair<int, int>> sizes;
    std::vector<std::uint64_t> captured;
    std::vector<double> qualities;
    bool failEncoding = false;
};

// Lines per picture by its bytes; answers are held until deliver().
class FakeTextRecognizer final : public TextRecognizer {
public:
    void recognize(std::vector<std::vector<std::uint8_t>> jpegs, std::function<void(std::vector<Lines>)> done) override {
        std::vector<Lines> result;
        for (const auto& j : jpegs) result.push_back(linesByPicture[textOf(j)]);
        pending.push_back([result, done = std::move(done)] { done(result); });
    }
    void deliver() {
        auto calls = std::exchange(pending, {});
        for (auto& c : calls) c();
    }
    std::map<std::string, Lines> linesByPicture;
    std::vector<std::function<void()>> pending;
};

class FakeHttpsClient final : public HttpsClient {
public:
    void send(HttpsRequest request, std::function<void(std::optional<HttpsResponse>)> done) override {
        requests.push_back(std::move(request));
        pending.push_back(std::move(done));
    }
    void respond(std::optional<HttpsResponse> response) {
        auto calls = std::exchange(pending, {});
        for (auto& c : calls) c(response);
    }
    std::vector<HttpsRequest> requests;
    std::vector<std::function<void(std::optional<HttpsResponse>)>> pending;
};

}  // namespace velmora
