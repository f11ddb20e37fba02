#include <gtest/gtest.h>

#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/support/Json.h"
#include <QTest>

#include "platform/linux/LinuxLoopbackListener.h"
#include "platform/qt/QtScheduler.h"
#include "sensors/bridge/BrowserLocalServer.h"
#include "sensors/bridge/TabReport.h"
#include "tests/fakes/FakeLoopbackListener.h"

using namespace velmora;
using namespace std::chrono_literals;

namespace {

using Next = LoopbackConnectionHandler::Next;

const std::string kAck =
    "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\nConnection: close\r\n\r\n{\"ok\":true}";

std::string repeat(std::string_view unit, std::size_t n) {
    std::string out;
    while (n-- > 0) out += unit;
    return out;
}

std::string post(const std::string& body, const std::string& headers = "Host: 127.0.0.1:18765\r\n") {
    return "POST /tab HTTP/1.1\r\n" + headers + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string fromExtension(const std::string& origin, const std::string& host = "127.0.0.1:18765") {
    return post(R"({"title":"t"})", "Host: " + host + "\r\nOrigin: " + origin + "\r\n");
}

// A bridge whose tab reports are kept as "browser|title|url|host", "nil" for an absent field.
template <class Listener>
struct Rig {
    QtScheduler scheduler;  // posts reach this thread when it runs the event loop
    Listener listener;
    BrowserLocalServer server;
    std::vector<std::string> reports;
    bool offMainThread = false;

    template <class... ListenerArgs>
    explicit Rig(std::uint16_t port, ListenerArgs... args) : listener(args...), server(listener, scheduler, port) {
        server.onTabEvent = [this, main = std::this_thread::get_id()](const std::string& browser, const auto& title,
                                                                      const auto& url, const auto& host) {
            offMainThread |= std::this_thread::get_id() != main;
            reports.push_back(browser + "|" + title.value_or("nil") + "|" + url.value_or("nil") + "|" +
                              host.value_or("nil"));
        };
        server.start();
    }
};

// The bridge without sockets: requests go straight to the connection handler.
struct Harness : Rig<FakeLoopbackListener> {
    Harness() : Rig(18765, std::uint16_t{18765}) {}

    // Feeds the request in chunks until the handler stops reading; `at` is the bytes taken by then.
    auto feed(const std::string& request, std::size_t chunk) {
        auto handler = listener.connect();
        struct { LoopbackConnectionHandler::Verdict verdict; std::size_t at = 0; } out;
        while (out.at < request.size() && out.verdict.next == Next::readMore) {
            out.verdict = handler->received(std::string_view(request).substr(out.at, chunk));
            out.at = std::min(out.at + chunk, request.size());
        }
        QCoreApplication::processEvents();
        return out;
    }
};

// Blocking with timeouts, so a broken server fails the test instead of hanging it; -1 when refused.
int connectTo(const std::string& ip, std::uint16_t port) {
    const addrinfo hints{AI_NUMERICHOST | AI_NUMERICSERV, AF_UNSPEC, SOCK_STREAM, 0, 0, nullptr, nullptr, nullptr};
    addrinfo* found = nullptr;
    if (::getaddrinfo(ip.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
    int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval timeout{5, 0};
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (fd >= 0 && ::connect(fd, found->ai_addr, found->ai_addrlen) != 0) fd = (::close(fd), -1);
    ::freeaddrinfo(found);
    return fd;
}

void sendAll(int fd, std::string_view bytes) {
    // The server may close first; what it answered is what counts.
    for (ssize_t n; !bytes.empty() && (n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)) > 0;)
        bytes.remove_prefix(static_cast<std::size_t>(n));
}

// Everything until the server closes (or resets); a server that never closes shows as "<timeout>".
std::string readAll(int fd) {
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) out.append(buf, static_cast<std::size_t>(n));
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) out += "<timeout>";
    return out;
}

std::string roundTrip(int fd, std::string_view request, std::size_t segment = SIZE_MAX) {
    if (fd < 0) return "no connection";
    for (std::size_t pos = 0; pos < request.size(); pos += segment) sendAll(fd, request.substr(pos, segment));
    std::string reply = readAll(fd);
    ::close(fd);
    return reply;
}

// The bridge on real loopback sockets, on a free port.
struct Bridge : Rig<LinuxLoopbackListener> {
    explicit Bridge(LinuxLoopbackListener::Limits limits = {}) : Rig(0, limits) {}
    int connect(const std::string& ip = "127.0.0.1") { return connectTo(ip, server.port()); }
    std::string host() const { return "127.0.0.1:" + std::to_string(server.port()); }
    bool arrived(std::size_t n) { return QTest::qWaitFor([&] { return reports.size() >= n; }, 5000); }
    // One request, then its report handed over before the next: reports of one browser that
    // wait together reach onTabEvent as the newest only.
    std::string exchange(std::string_view request, std::size_t segment = SIZE_MAX) {
        std::string reply = roundTrip(connect(), request, segment);
        QCoreApplication::processEvents();
        return reply;
    }
};

long residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    return -1;
}

}  // namespace

TEST(BridgeTest, RequestsFedWholeAndInSmallChunks) {
    constexpr std::size_t kCap = 262144;
    const std::string body = R"({"browser":"firefox","title":"Docs","url":"https://a.org/x","host":"a.org"})";
    const std::string full = "firefox|Docs|https://a.org/x|a.org", e = "e\u0301";  // é: one character, three bytes
    const std::string pad = R"({"title":"big"})", bare = post(pad, "X-Pad: \r\n");  // padded to the size wanted
    const auto ofSize = [&](std::size_t size) { return post(pad, "X-Pad: " + std::string(size - bare.size(), 'p') + "\r\n"); };
    struct Case {
        const char* name;
        std::string request;
        std::vector<std::string> reports;
        Next next = Next::reply;
        std::optional<std::size_t> at = {};  // the byte that completes or overflows it; default: the last
    };
    const Case cases[] = {
        {"full report", post(body), {full}},
        {"no body, no length", "POST / HTTP/1.1\r\nHost: localhost:18765\r\n\r\n", {}},
        {"lower-case method", "post / HTTP/1.0\r\nContent-Length: 13\r\n\r\n{\"title\":\"a\"}", {"chrome|a|nil|nil"}},
        {"empty browser stays empty", post(R"({"browser":""})"), {"|nil|nil|nil"}},
        {"other types and keys ignored", post(R"({"title":5,"url":null,"host":"h","x":"y"})"), {"chrome|nil|nil|h"}},
        {"fields cut at 2000 characters", post(R"({"title":")" + repeat("x", 2001) + R"(","url":")" + repeat(e, 2001) +
                                               R"(","host":")" + repeat(e, 2000) + "\"}"),
         {"chrome|" + repeat("x", 2000) + "|" + repeat(e, 2000) + "|" + repeat(e, 2000)}},
        {"negative length is none", "POST / HTTP/1.1\r\nContent-Length: -5\r\n\r\n{}", {}, Next::reply, 39},
        {"overflowing length is none", "POST / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n{}", {}, Next::reply, 57},
        {"extra bytes after the body", post(body) + "GET / HTTP/1.1\r\n\r\n", {full}, Next::reply, post(body).size()},
        {"GET is acknowledged, never read", "GET /?title=x HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}", {}},
        {"not JSON", post("title=x"), {}},
        {"not UTF-8", post("{\"title\":\"\xff\"}"), {}},
        {"an array", post(R"([{"title":"x"}])"), {}},
        {"nested 64 deep", post(R"({"title":"deep","n":)" + repeat("[", 63) + repeat("]", 63) + "}"), {"chrome|deep|nil|nil"}},
        {"nested 65 deep", post(R"({"title":"deep","n":)" + repeat("[", 64) + repeat("]", 64) + "}"), {}},
        {"brackets in strings do not nest", post(R"({"title":")" + repeat("[", 100) + R"(\"{"})"),
         {"chrome|" + repeat("[", 100) + "\"{|nil|nil"}},
        {"headers that are not UTF-8", "POST / HTTP/1.1\r\nX: \xff\r\nContent-Length: 13\r\n\r\n{\"title\":\"d\"}", {},
         Next::reply, 45},
        {"a web page's origin", fromExtension("https://evil.example"), {}},
        {"a sandboxed page's origin", fromExtension("null"), {}},
        {"the Chromium extension", fromExtension("chrome-extension://abcdefgh"), {"chrome|t|nil|nil"}},
        {"the Firefox extension", fromExtension("moz-extension://1234-5678"), {"chrome|t|nil|nil"}},
        {"a rebound host name", fromExtension("moz-extension://1", "evil.example:18765"), {}},
        {"another port", fromExtension("moz-extension://1", "127.0.0.1:80"), {}},
        {"localhost and ::1", post(R"({"url":"u"})", "Host: LocalHost:18765\r\nHost: [::1]:18765\r\n"), {"chrome|nil|u|nil"}},
        {"exactly the cap", ofSize(kCap), {"chrome|big|nil|nil"}},
        {"one byte over the cap", ofSize(kCap + 1), {}, Next::drop, kCap + 1},
        {"a body still short", "POST / HTTP/1.1\r\nContent-Length: 20\r\n\r\n{}", {}, Next::readMore},
    };
    for (const auto& c : cases) {
        for (std::size_t chunk : {c.request.size(), std::size_t{1}, std::size_t{7}}) {
            Harness h;
            const auto out = h.feed(c.request, chunk);
            SCOPED_TRACE(std::string(c.name) + ", chunks of " + std::to_string(chunk));
            EXPECT_EQ(out.verdict.next, c.next);
            EXPECT_EQ(h.reports, c.reports);
            if (c.next == Next::reply) EXPECT_EQ(out.verdict.reply, kAck);
            if (chunk == 1 && c.next != Next::readMore) EXPECT_EQ(out.at, c.at.value_or(c.request.size()));
        }
    }
    EXPECT_EQ(kAck.size(), 101u);

    const std::pair<std::string, std::optional<std::int64_t>> lengths[] = {
        {"POST / HTTP/1.1\r\n\r\n\r\ncontent-length:\t7\u00a0", 7},  {"POST / HTTP/1.1\r\nCONTENT-LENGTH:  13 \t", 13},
        {"POST / HTTP/1.1\r\nContent-length: +13", 13},              {"POST / HTTP/1.1\r\nContent-Length:", std::nullopt},
        {"POST / HTTP/1.1\r\nContent-Length: \r\nContent-Length: 5", std::nullopt},
        {"POST / HTTP/1.1\r\nContent-Length: 2\nX: y", std::nullopt}, {"POST / HTTP/1.1\r\nContent-Length: 1 2", std::nullopt},
        {"POST / HTTP/1.1\r\nX-Content-Length: 3\r\nContent-Length: 4", 4}, {"Content-Length: -9", -9},
    };
    for (const auto& [header, expected] : lengths) EXPECT_EQ(BridgeRequest::contentLength(header), expected) << header;
}

TEST(BridgeTest, ServerLifecycle) {
    Harness h;
    h.server.start();  // once started, again does nothing
    h.listener.onFailure("Network is down");
    QCoreApplication::processEvents();
    EXPECT_EQ(std::tuple(h.listener.starts, h.listener.requestedPort, h.server.isRunning(), h.server.lastError()),
              std::tuple(1, 18765, false, std::optional<std::string>("Network is down")));

    FakeLoopbackListener listener;
    listener.failure = "Address already in use";
    std::unique_ptr<LoopbackConnectionHandler> handler;
    {
        BrowserLocalServer server(listener, h.scheduler);
        server.start();
        EXPECT_EQ(server.lastError(), "Address already in use");
        EXPECT_FALSE(server.isRunning());
        listener.failure.reset();
        server.start();  // not started before, so it may try again
        EXPECT_TRUE(server.isRunning() && !server.lastError());
        server.onTabEvent = h.server.onTabEvent;
        handler = listener.connect();
    }
    EXPECT_EQ(listener.stops, 1);
    // A report that the listener's thread posts after the server is gone reaches nothing.
    EXPECT_EQ(handler->received(post(R"({"title":"late"})")).next, Next::reply);
    QCoreApplication::processEvents();
    EXPECT_EQ(h.reports, std::vector<std::string>{});
}

TEST(BridgeTest, AnswersLoopbackClientsAndWhatTheExtensionsPost) {
    Bridge bridge;
    ASSERT_TRUE(bridge.server.isRunning()) << bridge.server.lastError().value_or("");
    const std::string host = bridge.host(), curl = "User-Agent: curl/7.88.1\r\nAccept: */*\r\nHost: " + host + "\r\n";
    EXPECT_EQ(bridge.exchange(post(R"({"title":"whole"})", curl)), kAck);
    EXPECT_EQ(bridge.exchange(post(R"({"title":"segments"})", curl), 3), kAck);
    EXPECT_EQ(bridge.exchange("GET / HTTP/1.1\r\n" + curl + "\r\n"), kAck);
    EXPECT_EQ(bridge.exchange(post(R"({"title":"page"})", curl + "Origin: https://evil.example\r\n")), kAck);
    EXPECT_EQ(bridge.exchange(post(std::string(300000, ' '), curl), 65536), "");  // too large: no word
    EXPECT_EQ(bridge.exchange(post(R"({"title":"more"})", curl) + std::string(200000, 'x')), kAck);
    const int v6 = bridge.connect("::1");
    const bool hasV6 = v6 >= 0;
    if (hasV6) EXPECT_EQ(roundTrip(v6, post(R"({"title":"six"})", "Host: [::1]:" + std::to_string(bridge.server.port()) + "\r\n")), kAck);
    QCoreApplication::processEvents();

    // Peers that reset the connection instead of reading the answer: the bridge goes on serving.
    for (int i = 0; i < 20; ++i) {
        const int fd = bridge.connect();
        sendAll(fd, post(R"({"title":"gone"})", curl));
        const linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(fd);
    }

    // The requests the extensions make, as scripts/checks/extensions.sh confirms by running them
    // against fake browser APIs; the browser adds Host and Origin.
    // From the test source folder: a compiler cache may hand the compiler a relative __FILE__.
    std::ifstream file(std::filesystem::path(QT_TESTCASE_SOURCEDIR) / "sensors/bridge/ExtensionPosts.json");
    ASSERT_TRUE(file) << QT_TESTCASE_SOURCEDIR;
    const Json fixture = Json::parse(file);
    for (const auto& [browser, origin] : {std::pair{"chromium", "chrome-extension://velmorahelper"},
                                          std::pair{"firefox", "moz-extension://4a3c6b1e-0000-4000-8000-00000000001"}}) {
        for (const auto& request : fixture.at(browser)) {
            EXPECT_EQ(request.at("url"), "http://127.0.0.1:18765/tab");
            EXPECT_EQ(request.at("method"), "POST");
            std::string headers = "Host: " + host + "\r\nOrigin: " + origin + "\r\n";
            for (const auto& [name, value] : request.at("headers").items()) headers += name + ": " + value.get<std::string>() + "\r\n";
            EXPECT_EQ(bridge.exchange(post(request.at("body"), headers)), kAck);
        }
    }

    // Some of the reset peers' reports may have been replaced by a later one of the same browser.
    ASSERT_TRUE(bridge.arrived(hasV6 ? 12 : 11));
    std::erase(bridge.reports, "chrome|gone|nil|nil");
    std::vector<std::string> expected{"chrome|whole|nil|nil", "chrome|segments|nil|nil", "chrome|more|nil|nil"};
    if (hasV6) expected.push_back("chrome|six|nil|nil");
    for (const std::string browser : {"chromium", "firefox"})
        expected.insert(expected.end(), {browser + "|Docs \u2014 Example|https://www.example.org/a?b=1|www.example.org",
                                         browser + "|Other window|http://other.example:8080/|other.example",
                                         browser + "|Docs \u2014 Example|https://www.example.org/a?b=1|www.example.org",
                                         browser + "|Claude|https://claude.ai/chat/1|claude.ai"});
    EXPECT_EQ(bridge.reports, expected);
    EXPECT_FALSE(bridge.offMainThread);
}

TEST(BridgeTest, IdleConnectionsCannotStarveIt) {
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 4096);
    ::setrlimit(RLIMIT_NOFILE, &files);
    ASSERT_GE(files.rlim_cur, 1200u) << "too few file descriptors for this test";

    Bridge bridge;
    std::vector<int> idle;
    for (int i = 0; i < 1000; ++i) {
        idle.push_back(bridge.connect());
        ASSERT_GE(idle.back(), 0) << "connection " << i;
        sendAll(idle.back(), "POST / HTTP/1.1\r\n");
    }
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(roundTrip(bridge.connect(), post(R"({"title":"through"})", "Host: " + bridge.host() + "\r\n")), kAck);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_TRUE(bridge.arrived(1));
    EXPECT_EQ(readAll(idle.front()), "");  // the oldest idle one made room long ago
    for (int fd : idle) ::close(fd);

    // A request that stalls past its deadline is closed too.
    Bridge quick(LinuxLoopbackListener::Limits{0.2, 64, 2.0});
    EXPECT_EQ(roundTrip(quick.connect(), "POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\n{"), "");
}

TEST(BridgeTest, ListensOnLoopbackOnly) {
    Bridge bridge;
    std::optional<std::string> outside;
    ifaddrs* list = nullptr;
    ASSERT_EQ(::getifaddrs(&list), 0);
    for (ifaddrs* a = list; a && !outside; a = a->ifa_next) {
        if (!a->ifa_addr || (a->ifa_flags & IFF_LOOPBACK) || !(a->ifa_flags & IFF_UP)) continue;
        const int family = a->ifa_addr->sa_family;
        char text[NI_MAXHOST];
        const bool v4 = family == AF_INET;
        if ((v4 || (family == AF_INET6 && !IN6_IS_ADDR_LINKLOCAL(&reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr))) &&
            ::getnameinfo(a->ifa_addr, v4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6), text, sizeof text, nullptr, 0,
                          NI_NUMERICHOST) == 0)
            outside = text;
    }
    ::freeifaddrs(list);
    const int fd = outside ? connectTo(*outside, bridge.server.port()) : -1;
    EXPECT_LT(fd, 0) << "the bridge answered on " << outside.value_or("");
    if (fd >= 0) ::close(fd);

    // A port already taken: the second bridge says why it cannot listen.
    LinuxLoopbackListener second;
    BrowserLocalServer clash(second, bridge.scheduler, bridge.server.port());
    clash.start();
    EXPECT_FALSE(clash.isRunning());
    EXPECT_NE(clash.lastError().value_or("").find("in use"), std::string::npos) << clash.lastError().value_or("");
    if (!outside) GTEST_SKIP() << "this machine has no address but loopback";
}

TEST(BridgeTest, EveryFieldCappedInBytesAtACharacterBoundary) {
    const std::string accent = "\u0301", flag = "\U0001F1E9\U0001F1EA", han = "\u4E2D";  // 2, 8 and 3 bytes
    struct Case {
        const char* name;
        std::string value, kept;
    };
    const Case cases[] = {
        {"one letter under a flood of accents", "a" + repeat(accent, 120000), "a" + repeat(accent, 4095)},
        {"a four-byte code point across the cap", "a" + repeat(flag, 1100), "a" + repeat(flag, 1023) + "\U0001F1E9"},
        {"exactly the cap in bytes", repeat(flag, 1024), repeat(flag, 1024)},
        {"one byte over the cap", repeat(flag, 1024) + "x", repeat(flag, 1024)},
        {"2000 characters of three bytes", repeat(han, 2001), repeat(han, 2000)},
        {"a short one", "a" + accent, "a" + accent},
    };
    for (const auto& c : cases) {
        for (const std::string key : {"browser", "title", "url", "host"}) {
            SCOPED_TRACE(std::string(c.name) + " in " + key);
            const auto report = TabReport::decode("{\"" + key + "\":\"" + c.value + "\"}");
            ASSERT_TRUE(report);
            const std::optional<std::string> kept = key == "browser" ? report->browser
                                                   : key == "title" ? report->title
                                                   : key == "url"   ? report->url
                                                                    : report->host;
            EXPECT_EQ(kept.value_or("<none>").size(), c.kept.size());
            EXPECT_TRUE(kept == c.kept);
        }
    }
}

TEST(BridgeTest, OnlyTheNewestReportOfEachBrowserWaits) {
    // "browser title" posts, "|" lets the main thread run.
    struct Case {
        const char* name;
        std::vector<std::string> steps, reports;
    };
    std::vector<std::string> manyBrowsers, lastSixteen;
    for (int i = 0; i < 17; ++i) manyBrowsers.push_back("b" + std::to_string(i) + " t");
    for (int i = 1; i < 17; ++i) lastSixteen.push_back("b" + std::to_string(i) + "|t|nil|nil");
    const Case cases[] = {
        {"one browser", {"chrome a", "chrome b", "chrome c"}, {"chrome|c|nil|nil"}},
        {"in the order they last changed", {"firefox 1", "chrome 1", "firefox 2"}, {"chrome|1|nil|nil", "firefox|2|nil|nil"}},
        {"each wait on its own", {"chrome a", "|", "chrome b", "chrome c", "|", "chrome d"},
         {"chrome|a|nil|nil", "chrome|c|nil|nil", "chrome|d|nil|nil"}},
        {"seventeen browsers: the one waiting longest goes", manyBrowsers, lastSixteen},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        for (const auto& step : c.steps) {
            if (step == "|") {
                QCoreApplication::processEvents();
                continue;
            }
            const auto space = step.find(' ');
            const std::string body = R"({"browser":")" + step.substr(0, space) + R"(","title":")" + step.substr(space + 1) + "\"}";
            EXPECT_EQ(h.listener.connect()->received(post(body)).next, Next::reply);
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(h.reports, c.reports);
    }
}

TEST(BridgeTest, AFloodOfCombiningMarksKeepsMemoryAndTheWaitingReportsSmall) {
    Bridge bridge;
    const std::string flood = "a" + repeat("\u0301", 120000);  // one character, 240,001 bytes
    const std::string head = R"({"title":")" + flood + R"(","url":"https://a.org/)";
    EXPECT_EQ(bridge.exchange(post(head + "warm\"}", "Host: " + bridge.host() + "\r\n")), kAck);
    bridge.reports.clear();

    const long before = residentKiB();
    for (int i = 0; i < 700; ++i)
        ASSERT_EQ(roundTrip(bridge.connect(), post(head + std::to_string(i) + "\"}", "Host: " + bridge.host() + "\r\n")), kAck)
            << "post " << i;
    const long after = residentKiB();
    RecordProperty("residentBeforeKiB", static_cast<int>(before));
    RecordProperty("residentAfterKiB", static_cast<int>(after));
    ASSERT_GT(before, 0);
    EXPECT_LT(after - before, 64 * 1024);

    EXPECT_EQ(bridge.reports.size(), 0u);  // the main thread has not run yet
    QCoreApplication::processEvents();
    ASSERT_EQ(bridge.reports.size(), 1u);
    EXPECT_TRUE(bridge.reports[0] == "chrome|a" + repeat("\u0301", 4095) + "|https://a.org/699|nil") << bridge.reports[0].size();
}

TEST(BridgeTest, TheConnectionCapDropsTheOldestUnansweredRequest) {
    struct Case {
        const char* name;
        int open;
        bool firstAnswered;         // the oldest already has its reply but is still open
        std::vector<int> unanswered;
    };
    const Case cases[] = {
        {"64 open: all kept", 64, false, {}},
        {"a 65th: the oldest goes", 65, false, {0}},
        {"a 65th: the oldest still waiting goes, not one answered", 65, true, {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LinuxLoopbackListener::Limits limits;  // the default cap
        limits.requestDeadlineSeconds = limits.drainSeconds = 600;  // nothing closes on its own meanwhile
        Bridge bridge(limits);
        const std::string request = post(R"({"title":"x"})", "Host: " + bridge.host() + "\r\n");
        const std::size_t split = 10;  // a request line cut short waits for the rest
        std::vector<int> fds;
        std::vector<std::string> replies(static_cast<std::size_t>(c.open));
        for (int i = 0; i < c.open; ++i) {
            fds.push_back(bridge.connect());
            ASSERT_GE(fds.back(), 0) << "connection " << i;
            if (i == 0 && c.firstAnswered) {
                sendAll(fds[0], request);
                replies[0] = readAll(fds[0]);  // the reply, then the bridge's half-close
            } else {
                sendAll(fds.back(), std::string_view(request).substr(0, split));
            }
        }
        // Connections are taken in order: once the newest is answered, every earlier one counted.
        for (std::size_t i = fds.size(); i-- > (c.firstAnswered ? 1u : 0u);)
            replies[i] = roundTrip(fds[i], std::string_view(request).substr(split));
        if (c.firstAnswered) ::close(fds[0]);
        std::vector<int> unanswered;
        for (std::size_t i = 0; i < replies.size(); ++i)
            if (replies[i] != kAck) unanswered.push_back(static_cast<int>(i));
        EXPECT_EQ(unanswered, c.unanswered);
    }
}
