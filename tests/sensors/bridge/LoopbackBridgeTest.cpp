#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "platform/linux/LinuxLoopbackListener.h"
#include "sensors/bridge/BrowserLocalServer.h"
#include "tests/fakes/ThreadSafeScheduler.h"

using namespace velmora;
using namespace std::chrono_literals;

namespace {

const std::string kAck =
    "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\nConnection: close\r\n\r\n{\"ok\":true}";

// A blocking client socket with a receive timeout, so a broken server fails the test instead of hanging it.
int connectTo(const sockaddr* addr, socklen_t len) {
    const int fd = ::socket(addr->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, addr, len) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int connectV4(std::uint16_t port, in_addr_t address = htonl(INADDR_LOOPBACK)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = address;
    return connectTo(reinterpret_cast<sockaddr*>(&addr), sizeof addr);
}

void sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return;  // the server may close first; what it answered is what counts
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Everything until the server closes.
std::string readAll(int fd) {
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) out.append(buf, static_cast<std::size_t>(n));
    return out;
}

std::string roundTrip(int fd, std::string_view request, std::size_t segment = 0) {
    if (fd < 0) return "connect failed";
    if (segment == 0) sendAll(fd, request);
    for (std::size_t pos = 0; segment && pos < request.size(); pos += segment) sendAll(fd, request.substr(pos, segment));
    std::string reply = readAll(fd);
    ::close(fd);
    return reply;
}

std::string post(const std::string& body, std::uint16_t port, const std::string& extra = "") {
    return "POST /tab HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nUser-Agent: curl/7.88.1\r\nAccept: */*\r\nContent-Type: application/json\r\n" + extra +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct Bridge {
    FakeClock clock;
    ThreadSafeScheduler scheduler{clock};
    LinuxLoopbackListener listener;
    BrowserLocalServer server{listener, scheduler, 0};
    std::vector<std::string> titles;
    std::vector<std::string> reports;  // browser|title|url|host
    std::thread::id mainThread = std::this_thread::get_id();
    bool offMainThread = false;

    explicit Bridge(LinuxLoopbackListener::Limits limits = {}) : listener(limits) {
        server.onTabEvent = [this](const std::string& browser, const auto& title, const auto& url, const auto& host) {
            offMainThread |= std::this_thread::get_id() != mainThread;
            titles.push_back(title.value_or("nil"));
            reports.push_back(browser + "|" + title.value_or("nil") + "|" + url.value_or("nil") + "|" +
                              host.value_or("nil"));
        };
        server.start();
    }
    std::uint16_t port() const { return server.port(); }
    // Waits for the posted reports until `n` have arrived.
    bool arrived(std::size_t n) {
        return scheduler.runPostedUntil([&] { return titles.size() >= n; }, 5s);
    }
};

}  // namespace

TEST(LoopbackBridgeTest, AnswersLoopbackClients) {
    Bridge bridge;
    ASSERT_TRUE(bridge.server.isRunning()) << bridge.server.lastError().value_or("");
    const std::uint16_t port = bridge.port();
    const std::string report = R"({"browser":"firefox","title":"Docs","url":"https://a.org/","host":"a.org"})";

    EXPECT_EQ(roundTrip(connectV4(port), post(report, port)), kAck);
    EXPECT_EQ(roundTrip(connectV4(port), post(R"({"title":"slow"})", port), 3), kAck);
    EXPECT_EQ(roundTrip(connectV4(port), "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n"), kAck);
    EXPECT_EQ(roundTrip(connectV4(port), post(R"({"title":"page"})", port, "Origin: https://evil.example\r\n")), kAck);
    EXPECT_EQ(roundTrip(connectV4(port), post(R"({"title":"ext"})", port, "Origin: chrome-extension://abc\r\n")), kAck);
    // Too large: closed without a word.
    EXPECT_EQ(roundTrip(connectV4(port), post(std::string(300000, ' '), port), 65536), "");
    // Extra bytes after the body do not spoil the reply.
    EXPECT_EQ(roundTrip(connectV4(port), post(R"({"title":"more"})", port) + std::string(200000, 'x')), kAck);

    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    v6.sin6_addr = in6addr_loopback;
    const int fd6 = connectTo(reinterpret_cast<sockaddr*>(&v6), sizeof v6);
    if (fd6 >= 0) {
        std::string request = post(R"({"title":"six"})", port);
        request.replace(request.find("127.0.0.1"), 9, "[::1]");
        EXPECT_EQ(roundTrip(fd6, request), kAck);
    }

    // Peers that reset the connection instead of reading the answer: the bridge goes on serving.
    for (int i = 0; i < 20; ++i) {
        const int fd = connectV4(port);
        sendAll(fd, post(R"({"title":"gone"})", port));
        const linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(fd);
    }

    EXPECT_EQ(roundTrip(connectV4(port), post(R"({"title":"last"})", port)), kAck);
    const std::size_t expected = fd6 >= 0 ? 5 : 4;
    ASSERT_TRUE(bridge.arrived(expected + 20));
    std::erase(bridge.titles, "gone");
    std::vector<std::string> want{"Docs", "slow", "ext", "more"};
    if (fd6 >= 0) want.push_back("six");
    want.push_back("last");
    EXPECT_EQ(bridge.titles, want);
    EXPECT_FALSE(bridge.offMainThread);
}

TEST(LoopbackBridgeTest, IdleConnectionsCannotStarveIt) {
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, 4096);
    ::setrlimit(RLIMIT_NOFILE, &files);
    ASSERT_GE(files.rlim_cur, 1200u) << "too few file descriptors for this test";

    Bridge bridge;
    const std::uint16_t port = bridge.port();
    std::vector<int> idle;
    for (int i = 0; i < 1000; ++i) {
        const int fd = connectV4(port);
        ASSERT_GE(fd, 0) << "connection " << i;
        sendAll(fd, "POST / HTTP/1.1\r\n");
        idle.push_back(fd);
    }
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(roundTrip(connectV4(port), post(R"({"title":"through"})", port)), kAck);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_TRUE(bridge.arrived(1));
    // The oldest idle connection made room long ago: closed without a reply.
    EXPECT_EQ(readAll(idle.front()), "");
    for (int fd : idle) ::close(fd);

    // A request that stalls past its deadline is closed too.
    Bridge quick(LinuxLoopbackListener::Limits{0.2, 64, 2.0});
    const int stalled = connectV4(quick.port());
    sendAll(stalled, "POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\n{");
    EXPECT_EQ(readAll(stalled), "");
    ::close(stalled);
}

TEST(LoopbackBridgeTest, NotReachableFromOtherAddresses) {
    Bridge bridge;
    std::optional<sockaddr_storage> outside;
    ifaddrs* list = nullptr;
    ASSERT_EQ(::getifaddrs(&list), 0);
    for (ifaddrs* a = list; a && !outside; a = a->ifa_next) {
        if (!a->ifa_addr || (a->ifa_flags & IFF_LOOPBACK) || !(a->ifa_flags & IFF_UP)) continue;
        if (a->ifa_addr->sa_family == AF_INET) {
            outside.emplace();
            std::memcpy(&*outside, a->ifa_addr, sizeof(sockaddr_in));
            reinterpret_cast<sockaddr_in*>(&*outside)->sin_port = htons(bridge.port());
        } else if (a->ifa_addr->sa_family == AF_INET6 &&
                   !IN6_IS_ADDR_LINKLOCAL(&reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr)) {
            outside.emplace();
            std::memcpy(&*outside, a->ifa_addr, sizeof(sockaddr_in6));
            reinterpret_cast<sockaddr_in6*>(&*outside)->sin6_port = htons(bridge.port());
        }
    }
    ::freeifaddrs(list);
    if (!outside) GTEST_SKIP() << "this machine has no address but loopback";
    const socklen_t len = outside->ss_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    const int fd = connectTo(reinterpret_cast<sockaddr*>(&*outside), len);
    EXPECT_LT(fd, 0) << "the bridge answered on a non-loopback address";
    if (fd >= 0) ::close(fd);
    // Taken port: the second bridge says why it cannot listen.
    FakeClock clock;
    ThreadSafeScheduler scheduler{clock};
    LinuxLoopbackListener second;
    BrowserLocalServer clash(second, scheduler, bridge.port());
    clash.start();
    EXPECT_FALSE(clash.isRunning());
    EXPECT_NE(clash.lastError().value_or("").find("in use"), std::string::npos) << clash.lastError().value_or("");
}

TEST(LoopbackBridgeTest, PostsWhatTheExtensionsPost) {
    // The requests the extensions' background script makes, as scripts/checks/extensions.sh
    // confirms by running it against fake browser APIs.
    std::ifstream file(std::filesystem::path(__FILE__).parent_path() / "ExtensionPosts.json");
    const auto fixture = nlohmann::json::parse(file);
    Bridge bridge;
    const std::uint16_t port = bridge.port();
    std::size_t sent = 0;
    for (const auto& [browser, origin] : {std::pair{"chromium", "chrome-extension://velmorahelper"},
                                          std::pair{"firefox", "moz-extension://4a3c6b1e-0000-4000-8000-000000000001"}}) {
        for (const auto& request : fixture.at(browser)) {
            EXPECT_EQ(request.at("url"), "http://127.0.0.1:18765/tab");
            std::string text = request.at("method").get<std::string>() + " /tab HTTP/1.1\r\nHost: 127.0.0.1:" +
                               std::to_string(port) + "\r\nOrigin: " + origin + "\r\n";
            for (const auto& [name, value] : request.at("headers").items()) text += name + ": " + value.get<std::string>() + "\r\n";
            const auto body = request.at("body").get<std::string>();
            text += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
            EXPECT_EQ(roundTrip(connectV4(port), text), kAck);
            ++sent;
        }
    }
    ASSERT_TRUE(bridge.scheduler.runPostedUntil([&] { return bridge.reports.size() >= sent; }, 5s));
    EXPECT_EQ(bridge.reports, (std::vector<std::string>{
                                  "chrome|Docs \u2014 Example|https://www.example.org/a?b=1|www.example.org",
                                  "chrome|Claude|https://claude.ai/chat/1|claude.ai",
                                  "chrome|nil|nil|nil",
                                  "firefox|Docs \u2014 Example|https://www.example.org/a?b=1|www.example.org",
                                  "firefox|Claude|https://claude.ai/chat/1|claude.ai",
                                  "firefox|nil|nil|nil",
                              }));
}
