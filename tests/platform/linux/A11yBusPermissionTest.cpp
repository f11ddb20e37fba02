#include <gtest/gtest.h>

#include <dbus/dbus.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/linux/A11yBusPermission.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

namespace {

constexpr const char* kDaemon = "/usr/bin/dbus-daemon";
constexpr const char* kLauncher = "/usr/libexec/at-spi-bus-launcher";

// A session bus of the test's own, on which the accessibility switch starts off as after a
// fresh login (settings in memory only); nothing of the desktop the tests run on is touched.
// The address stays empty where the bus or the accessibility launcher is not installed.
class PrivateSessionBus {
public:
    PrivateSessionBus() {
        int fds[2];
        if (access(kDaemon, X_OK) != 0 || access(kLauncher, X_OK) != 0 || pipe2(fds, O_CLOEXEC) != 0) return;
        const std::string runtime = "XDG_RUNTIME_DIR=" + dir_.path(), home = "HOME=" + dir_.path();
        const std::string print = "--print-address=" + std::to_string(fds[1]);
        const char* const env[] = {"PATH=/usr/bin:/bin", "GSETTINGS_BACKEND=memory", runtime.c_str(), home.c_str(),
                                   nullptr};
        if ((pid_ = fork()) == 0) {
            fcntl(fds[1], F_SETFD, 0);  // the daemon writes its address here
            dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
            execle(kDaemon, "dbus-daemon", "--session", "--nofork", print.c_str(), static_cast<char*>(nullptr), env);
            _exit(127);
        }
        close(fds[1]);
        char line[512];
        ssize_t got = 0;
        for (ssize_t n; got < ssize_t(sizeof line) && (n = read(fds[0], line + got, sizeof line - got)) > 0;) {
            got += n;
            if (std::string_view(line, got).find('\n') != std::string_view::npos) break;
        }
        close(fds[0]);
        const std::string_view text(line, got);
        if (const auto end = text.find('\n'); end != std::string_view::npos) address_ = text.substr(0, end);
    }
    ~PrivateSessionBus() {
        // The launcher and its bus end with the session bus.
        if (pid_ > 0 && kill(pid_, SIGTERM) == 0) waitpid(pid_, nullptr, 0);
    }
    const std::string& address() const { return address_; }

private:
    TempDir dir_;
    pid_t pid_ = -1;
    std::string address_;
};

// A plain client of that bus, to look at it from outside.
class BusClient {
public:
    explicit BusClient(const std::string& address) {
        DBusError error;
        dbus_error_init(&error);
        connection_ = dbus_connection_open_private(address.c_str(), &error);
        if (connection_ && !dbus_bus_register(connection_, &error)) close();
        dbus_error_free(&error);
    }
    ~BusClient() { close(); }
    bool connected() const { return connection_ != nullptr; }
    bool hasOwner(const char* name) {
        DBusError error;
        dbus_error_init(&error);
        const bool owned = dbus_bus_name_has_owner(connection_, name, &error);
        dbus_error_free(&error);
        return owned;
    }
    bool start(const char* name) {
        DBusError error;
        dbus_error_init(&error);
        const bool started = dbus_bus_start_service_by_name(connection_, name, 0, nullptr, &error);
        dbus_error_free(&error);
        return started;
    }

private:
    void close() {
        if (!connection_) return;
        dbus_connection_close(connection_);
        dbus_connection_unref(connection_);
        connection_ = nullptr;
    }
    DBusConnection* connection_ = nullptr;
};

}  // namespace

TEST(A11yBusPermissionTest, TheSwitchStartsOffReadingLeavesItOffAndAskingTurnsItOn) {
    PrivateSessionBus bus;
    if (bus.address().empty()) GTEST_SKIP() << "dbus-daemon or the accessibility bus launcher is not installed";
    BusClient client(bus.address());
    ASSERT_TRUE(client.connected()) << bus.address();
    A11yBusPermission permission(bus.address());

    // No launcher yet: no grant, and reading starts none.
    EXPECT_FALSE(permission.isGranted());
    EXPECT_FALSE(client.hasOwner("org.a11y.Bus"));
    // The launcher answering with the switch off is no grant either.
    ASSERT_TRUE(client.start("org.a11y.Bus"));
    ASSERT_TRUE(client.hasOwner("org.a11y.Bus"));
    EXPECT_FALSE(permission.isGranted());
    EXPECT_FALSE(A11yBusPermission(bus.address()).isGranted());
    // Asking switches it on for the whole session.
    EXPECT_TRUE(permission.request());
    EXPECT_TRUE(permission.isGranted());
    EXPECT_TRUE(A11yBusPermission(bus.address()).isGranted());
}
