// Input: one byte choosing the chunk size, then the bytes a client sends. The request is fed
// whole and in chunks, which must agree; a complete request's payload, and the raw bytes,
// go through the tab-report decoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/support/Utf8.h"
#include "sensors/bridge/BridgeRequest.h"
#include "sensors/bridge/TabReport.h"

using namespace velmora;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void checkReport(std::string_view body) {
    const auto report = TabReport::decode(body);
    if (!report) return;
    const auto kept = [](const std::string& text) {
        require(utf8::characterCount(text) <= TabReport::fieldCap);
        require(text.size() <= TabReport::fieldByteCap);
        require(utf8::sanitize(text) == text);  // never cut inside a multi-byte sequence
    };
    for (const auto* field : {&report->title, &report->url, &report->host})
        if (*field) kept(**field);
    kept(report->browser);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t chunk = data[0] % 64 + 1;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    BridgeRequest whole;
    whole.append(bytes);
    BridgeRequest chunked;
    for (std::size_t pos = 0; pos < bytes.size() && chunked.state() == BridgeRequest::State::receiving; pos += chunk)
        chunked.append(bytes.substr(pos, chunk));

    // Chunked may stop earlier than whole only by finishing on the same request.
    require(whole.state() == chunked.state());
    if (whole.state() == BridgeRequest::State::complete) {
        require(whole.payload() == chunked.payload());
        require(whole.isPost() == chunked.isPost());
        require(whole.isFromExtensionOrLocalTool() == chunked.isFromExtensionOrLocalTool());
        require(whole.payload().size() <= BridgeRequest::requestCap);
        checkReport(whole.payload());
    }
    checkReport(bytes);
    return 0;
}
