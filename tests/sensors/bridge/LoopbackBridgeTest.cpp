#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/support/Json.h"
#include "platform/linux/LinuxLoopbackListener.h"
#include "sensors/bridge/BrowserLocalServer.h"
#include "tests/fakes/ThreadSafeScheduler.h"

using namespace velmora;
using namespace std::chrono_literals;

namespace {

const std::string kAck =
    "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\nConnection: close\r\n\r\n{\"ok\":true}";

sockaddr_storage address(int family, std::uint16_t port, const sockaddr* from = nullptr) {
    sockaddr_storage s{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&s);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&s);
    if (from) std::memcpy(&s, from, family == AF_INET ? sizeof *v4 : sizeof *v6);
    else if (family == AF_INET) v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    else v6->sin6_addr = in6addr_loopback;
    s.ss_family = static_cast<sa_family_t>(family);
    (family == AF_INET ? v4->sin_port : v6->sin6_port) = htons(port);
    return s;
}

// Blocking with timeouts, so a broken server fails the test instead of hanging it.
int connectTo(const sockaddr_storage& addr) {
    const int fd = ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval timeout{5, 0};
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const socklen_t len = addr.ss_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), len) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
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

std::string post(const std::string& body, const std::string& host, const std::string& extra = "") {
    return "POST /tab HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: curl/7.88.1\r\nAccept: */*\r\n" + extra +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct Bridge {
    FakeClock clock;
    ThreadSafeScheduler scheduler{clock};
    LinuxLoopbackListener listener;
    BrowserLocalServer server{listener, scheduler, 0};
    std::vector<std::string> reports;  // browser|title|url|host
    bool offMainThread = false;

    explicit Bridge(LinuxLoopbackListener::Limits limits = {}) : listener(limits) {
        server.onTabEvent = [this, main = std::this_thread::get_id()](const std::string& browser, const auto& title,
                                                                      const auto& url, const auto& host) {
            offMainThread |= std::this_thread::get_id() != main;
            reports.push_back(browser + "|" + title.value_or("nil") + "|" + url.value_or("nil") + "|" +
                              host.value_or("nil"));
        };
        server.start();
    }
    int connect(int family = AF_INET) { return connectTo(address(family, server.port())); }
    std::string host() const { return "127.0.0.1:" + std::to_string(server.port()); }
    bool arrived(std::size_t n) {
        return scheduler.runPostedUntil([&] { return reports.size() >= n; }, 5s);
    }
};

}  // namespace

TEST(LoopbackBridgeTest, AnswersLoopbackClientsAndWhatTheExtensionsPost) {
    Bridge bridge;
    ASSERT_TRUE(bridge.server.isRunning()) << bridge.server.lastError().value_or("");
    const std::string host = bridge.host();
    EXPECT_EQ(roundTrip(bridge.connect(), post(R"({"title":"whole"})", host)), kAck);
    EXPECT_EQ(roundTrip(bridge.connect(), post(R"({"title":"segments"})", host), 3), kAck);
    EXPECT_EQ(roundTrip(bridge.connect(), "GET / HTTP/1.1\r\nHost: " + host + "\r\n\r\n"), kAck);
    EXPECT_EQ(roundTrip(bridge.connect(), post(R"({"title":"page"})", host, "Origin: https://evil.example\r\n")), kAck);
    EXPECT_EQ(roundTrip(bridge.connect(), post(std::string(300000, ' '), host), 65536), "");  // too large: no word
    EXPECT_EQ(roundTrip(bridge.connect(), post(R"({"title":"more"})", host) + std::string(200000, 'x')), kAck);
    const std::string v6Host = "[::1]:" + std::to_string(bridge.server.port());
    const int v6 = bridge.connect(AF_INET6);
    const bool hasV6 = v6 >= 0;
    if (hasV6) EXPECT_EQ(roundTrip(v6, post(R"({"title":"six"})", v6Host)), kAck);

    // Peers that reset the connection instead of reading the answer: the bridge goes on serving.
    for (int i = 0; i < 20; ++i) {
        const int fd = bridge.connect();
        sendAll(fd, post(R"({"title":"gone"})", host));
        const linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(fd);
    }

    // The requests the extensions make, as scripts/checks/extensions.sh confirms by running them
    // against fake browser APIs; the browser adds Host and Origin.
    std::ifstream file(std::filesystem::path(__FILE__).parent_path() / "ExtensionPosts.json");
    const Json fixture = Json::parse(file);
    for (const auto& [browser, origin] : {std::pair{"chromium", "chrome-extension://velmorahelper"},
                                          std::pair{"firefox", "moz-extension://4a3c6b1e-0000-4000-8000-00000000001"}}) {
        for (const auto& request : fixture.at(browser)) {
            EXPECT_EQ(request.at("url"), "http://127.0.0.1:18765/tab");
            std::string headers = "Origin: " + std::string(origin) + "\r\n";
            for (const auto& [name, value] : request.at("headers").items()) headers += name + ": " + value.get<std::string>() + "\r\n";
            EXPECT_EQ(request.at("method"), "POST");
            EXPECT_EQ(roundTrip(bridge.connect(), post(request.at("body"), host, headers)), kAck);
        }
    }

    ASSERT_TRUE(bridge.arrived(hasV6 ? 30 : 29));
    std::erase(bridge.reports, "chrome|gone|nil|nil");
    std::vector<std::string> expected{"chrome|whole|nil|nil", "chrome|segments|nil|nil", "chrome|more|nil|nil"};
    if (hasV6) expected.push_back("chrome|six|nil|nil");
    for (const char* browser : {"chrome", "firefox"}) {
        expected.push_back(std::string(browser) + "|Docs \u2014 Example|https://www.example.org/a?b=1|www.example.org");
        expected.push_back(std::string(browser) + "|Claude|https://claude.ai/chat/1|claude.ai");
        expected.push_back(std::string(browser) + "|nil|nil|nil");
    }
    EXPECT_EQ(bridge.reports, expected);
    EXPECT_FALSE(bridge.offMainThread);
}

TEST(LoopbackBridgeTest, IdleConnectionsCannotStarveIt) {
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
    EXPECT_EQ(roundTrip(bridge.connect(), post(R"({"title":"through"})", bridge.host())), kAck);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_TRUE(bridge.arrived(1));
    EXPECT_EQ(readAll(idle.front()), "");  // the oldest idle one made room long ago
    for (int fd : idle) ::close(fd);

    // A request that stalls past its deadline is closed too.
    Bridge quick(LinuxLoopbackListener::Limits{0.2, 64, 2.0});
    EXPECT_EQ(roundTrip(quick.connect(), "POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\n{"), "");
}

TEST(LoopbackBridgeTest, ListensOnLoopbackOnly) {
    Bridge bridge;
    std::optional<sockaddr_storage> outside;
    ifaddrs* list = nullptr;
    ASSERT_EQ(::getifaddrs(&list), 0);
    for (ifaddrs* a = list; a && !outside; a = a->ifa_next) {
        if (!a->ifa_addr || (a->ifa_flags & IFF_LOOPBACK) || !(a->ifa_flags & IFF_UP)) continue;
        const int family = a->ifa_addr->sa_family;
        if (family == AF_INET ||
            (family == AF_INET6 && !IN6_IS_ADDR_LINKLOCAL(&reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr)))
            outside = address(family, bridge.server.port(), a->ifa_addr);
    }
    ::freeifaddrs(list);
    if (outside) {
        const int fd = connectTo(*outside);
        EXPECT_LT(fd, 0) << "the bridge answered on a non-loopback address";
        if (fd >= 0) ::close(fd);
    }

    // A port already taken: the second bridge says why it cannot listen.
    LinuxLoopbackListener second;
    BrowserLocalServer clash(second, bridge.scheduler, bridge.server.port());
    clash.start();
    EXPECT_FALSE(clash.isRunning());
    EXPECT_NE(clash.lastError().value_or("").find("in use"), std::string::npos) << clash.lastError().value_or("");
    if (!outside) GTEST_SKIP() << "this machine has no address but loopback";
}
