#include <gtest/gtest.h>

#include "sensors/bridge/BrowserLocalServer.h"
#include "sensors/bridge/TabReport.h"
#include "tests/fakes/FakeLoopbackListener.h"
#include "tests/fakes/ManualScheduler.h"

using namespace velmora;

namespace {

using Next = LoopbackConnectionHandler::Next;

const std::string kAck =
    "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\nConnection: close\r\n\r\n{\"ok\":true}";

std::string repeat(std::string_view unit, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += unit;
    return out;
}

std::string post(const std::string& body, const std::string& headers = "Host: 127.0.0.1:18765\r\n") {
    return "POST /tab HTTP/1.1\r\n" + headers + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string fromExtension(const std::string& origin, const std::string& host = "127.0.0.1:18765") {
    return post(R"({"title":"t"})", "Host: " + host + "\r\nOrigin: " + origin + "\r\n");
}

// A request padded with a header to exactly `size` bytes.
std::string requestOfSize(std::size_t size) {
    const std::string body = R"({"title":"big"})";
    const std::string bare = post(body, "X-Pad: \r\n");
    return post(body, "X-Pad: " + std::string(size - bare.size(), 'p') + "\r\n");
}

std::string describe(const std::string& browser, const std::optional<std::string>& title,
                     const std::optional<std::string>& url, const std::optional<std::string>& host) {
    const auto show = [](const std::optional<std::string>& s) {
        if (!s) return std::string("nil");
        return s->size() > 40 ? std::to_string(s->size()) + " bytes" : "'" + *s + "'";
    };
    return "'" + browser + "' " + show(title) + " " + show(url) + " " + show(host);
}

struct Harness {
    FakeClock clock;
    ManualScheduler scheduler{clock};
    FakeLoopbackListener listener;
    BrowserLocalServer server{listener, scheduler};
    std::string calls;

    Harness() {
        listener.assignedPort = 18765;
        server.onTabEvent = [this](const std::string& b, const auto& t, const auto& u, const auto& h) {
            calls += describe(b, t, u, h);
        };
        server.start();
    }

    // Feeds the request in chunks until the handler stops reading; `at` is the bytes taken by then.
    auto feed(const std::string& request, std::size_t chunk) {
        auto handler = listener.connect();
        struct { LoopbackConnectionHandler::Verdict verdict; std::size_t at = 0; } out;
        while (out.at < request.size() && out.verdict.next == Next::readMore) {
            out.verdict = handler->received(std::string_view(request).substr(out.at, chunk));
            out.at = std::min(out.at + chunk, request.size());
        }
        scheduler.runPosted();
        return out;
    }
};

}  // namespace

TEST(BridgeRequestTest, RequestsFedWholeAndByteByByte) {
    constexpr std::size_t kCap = 262144;
    const std::string body = R"({"browser":"firefox","title":"Docs","url":"https://a.org/x","host":"a.org"})";
    struct Case {
        const char* name;
        std::string request;
        Next next;
        std::string callback;                 // empty: none
        std::optional<std::size_t> at = {};   // default: the last byte
    };
    const Case cases[] = {
        {"full report", post(body), Next::reply, "'firefox' 'Docs' 'https://a.org/x' 'a.org'"},
        {"no body, no length", "POST / HTTP/1.1\r\nHost: localhost:18765\r\n\r\n", Next::reply, ""},
        {"lower-case method", "post / HTTP/1.0\r\nContent-Length: 13\r\n\r\n{\"title\":\"a\"}", Next::reply,
         "'chrome' 'a' nil nil"},
        {"empty browser stays empty", post(R"({"browser":""})"), Next::reply, "'' nil nil nil"},
        {"other types and keys ignored", post(R"({"title":5,"url":null,"host":"h","x":"y"})"), Next::reply,
         "'chrome' nil nil 'h'"},
        {"length header in capitals with spaces",
         "POST / HTTP/1.1\r\nCONTENT-LENGTH:  13 \t\r\n\r\n{\"title\":\"b\"}", Next::reply, "'chrome' 'b' nil nil"},
        {"signed length", "POST / HTTP/1.1\r\nContent-length: +13\r\n\r\n{\"title\":\"c\"}", Next::reply,
         "'chrome' 'c' nil nil"},
        {"first length header wins", "POST / HTTP/1.1\r\nContent-Length: 2\r\nContent-Length: 13\r\n\r\n{}", Next::reply,
         "'chrome' nil nil nil"},
        {"negative length is none", "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n{}", Next::reply, "", std::size_t{39}},
        {"overflowing length is none", "POST / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n{}",
         Next::reply, "", std::size_t{57}},
        {"length with a bare LF is none", "POST / HTTP/1.1\r\nContent-Length: 2\nX: y\r\n\r\n{}", Next::reply, "",
         std::size_t{43}},
        {"extra bytes after the body", post(body) + "GET / HTTP/1.1\r\n\r\n", Next::reply,
         "'firefox' 'Docs' 'https://a.org/x' 'a.org'", post(body).size()},
        {"GET is acknowledged, never read", "GET /?title=x HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}", Next::reply, ""},
        {"not JSON", post("title=x"), Next::reply, ""},
        {"an array", post(R"([{"title":"x"}])"), Next::reply, ""},
        {"nested 64 deep", post(R"({"title":"deep","n":)" + repeat("[", 63) + repeat("]", 63) + "}"), Next::reply,
         "'chrome' 'deep' nil nil"},
        {"nested 65 deep", post(R"({"title":"deep","n":)" + repeat("[", 64) + repeat("]", 64) + "}"), Next::reply, ""},
        {"brackets in strings do not nest", post(R"({"title":")" + repeat("[", 100) + R"(\"{"})"), Next::reply,
         "'chrome' 102 bytes nil nil"},
        {"headers that are not UTF-8", "POST / HTTP/1.1\r\nX: \xff\r\nContent-Length: 13\r\n\r\n{\"title\":\"d\"}",
         Next::reply, "", std::size_t{45}},
        {"a web page's origin", fromExtension("https://evil.example"), Next::reply, ""},
        {"a sandboxed page's origin", fromExtension("null"), Next::reply, ""},
        {"the Chromium extension", fromExtension("chrome-extension://abcdefgh"), Next::reply, "'chrome' 't' nil nil"},
        {"the Firefox extension", fromExtension("moz-extension://1234-5678"), Next::reply, "'chrome' 't' nil nil"},
        {"a rebound host name", fromExtension("moz-extension://1", "evil.example:18765"), Next::reply, ""},
        {"another port", fromExtension("moz-extension://1", "127.0.0.1:80"), Next::reply, ""},
        {"localhost and ::1", post(R"({"url":"u"})", "Host: LocalHost:18765\r\nHost: [::1]:18765\r\n"), Next::reply,
         "'chrome' nil 'u' nil"},
        {"exactly the cap", requestOfSize(kCap), Next::reply, "'chrome' 'big' nil nil"},
        {"one byte over the cap", requestOfSize(kCap + 1), Next::drop, "", kCap + 1},
        {"a length the cap can never hold", "POST / HTTP/1.1\r\nContent-Length: 262144\r\n\r\n" + std::string(kCap, 'x'),
         Next::drop, "", kCap + 1},
        {"a body still short", "POST / HTTP/1.1\r\nContent-Length: 20\r\n\r\n{}", Next::readMore, ""},
    };
    for (const auto& c : cases) {
        for (std::size_t chunk : {c.request.size(), std::size_t{1}, std::size_t{7}}) {
            Harness h;
            const auto out = h.feed(c.request, chunk);
            SCOPED_TRACE(std::string(c.name) + ", chunks of " + std::to_string(chunk));
            EXPECT_EQ(out.verdict.next, c.next);
            EXPECT_EQ(h.calls, c.callback);
            if (c.next == Next::reply) EXPECT_EQ(out.verdict.reply, kAck);
            // Answered (or dropped) at the byte that completes (or overflows) the request, not before.
            if (chunk == 1 && c.next != Next::readMore) EXPECT_EQ(out.at, c.at.value_or(c.request.size()));
        }
    }
    EXPECT_EQ(kAck.size(), 101u);
}

TEST(BridgeRequestTest, ContentLengthAndFieldCaps) {
    const std::pair<std::string, std::optional<std::int64_t>> lengths[] = {
        {"POST / HTTP/1.1\r\nContent-Length: 12", 12},
        {"POST / HTTP/1.1\r\n\r\n\r\ncontent-length:\t7\u00a0", 7},
        {"POST / HTTP/1.1\r\nContent-Length:", std::nullopt},
        {"POST / HTTP/1.1\r\nContent-Length: \r\nContent-Length: 5", std::nullopt},
        {"POST / HTTP/1.1\r\nContent-Length: 1 2", std::nullopt},
        {"POST / HTTP/1.1\r\nX-Content-Length: 3\r\nContent-Length: 4", 4},
        {"Content-Length: -9", -9},
    };
    for (const auto& [header, expected] : lengths) EXPECT_EQ(BridgeRequest::contentLength(header), expected) << header;

    // Characters, not bytes: a decomposed é is one character of three bytes.
    const std::string e = "e\u0301";
    const auto titleOf = [](const std::string& title) { return TabReport::decode(R"({"title":")" + title + "\"}")->title; };
    EXPECT_EQ(titleOf(repeat(e, 2001)), repeat(e, 2000));
    EXPECT_EQ(titleOf(repeat(e, 2000)), repeat(e, 2000));
    EXPECT_EQ(titleOf(repeat("x", 2001)), repeat("x", 2000));
    EXPECT_EQ(TabReport::decode(R"({"url":")" + repeat(e, 2001) + "\"}")->url, repeat(e, 2000));
    EXPECT_EQ(TabReport::decode("{\"title\":\"\xff\"}"), std::nullopt);
    EXPECT_EQ(TabReport::decode(""), std::nullopt);
}

TEST(BridgeRequestTest, ServerLifecycle) {
    Harness h;
    h.server.start();
    EXPECT_EQ(h.listener.starts, 1);
    EXPECT_EQ(h.listener.requestedPort, 18765);
    EXPECT_TRUE(h.server.isRunning());
    h.listener.onFailure("Network is down");
    h.scheduler.runPosted();
    EXPECT_FALSE(h.server.isRunning());
    EXPECT_EQ(h.server.lastError(), "Network is down");

    FakeLoopbackListener listener;
    listener.failure = "Address already in use";
    std::unique_ptr<LoopbackConnectionHandler> handler;
    {
        BrowserLocalServer server(listener, h.scheduler);
        server.start();
        EXPECT_FALSE(server.isRunning());
        EXPECT_EQ(server.lastError(), "Address already in use");
        listener.failure.reset();
        server.start();  // not started before, so it may try again
        EXPECT_TRUE(server.isRunning());
        server.onTabEvent = h.server.onTabEvent;
        handler = listener.connect();
    }
    EXPECT_EQ(listener.stops, 1);
    // A report that the listener's thread posts after the server is gone reaches nothing.
    EXPECT_EQ(handler->received(post(R"({"title":"late"})")).next, Next::reply);
    h.scheduler.runPosted();
    EXPECT_EQ(h.calls, "");
}
