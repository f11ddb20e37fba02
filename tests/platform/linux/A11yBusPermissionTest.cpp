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
    // The process that owns `name`; 0 when none does.
    pid_t ownerPid(const char* name) {
        DBusMessage* ask = dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS,
                                                        "GetConnectionUnixProcessID");
        dbus_uint32_t pid = 0;
        DBusError error;
        dbus_error_init(&error);
        if (ask && dbus_message_append_args(ask, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID)) {
            if (DBusMessage* reply = dbus_connection_send_with_reply_and_block(connection_, ask, 1000, &error)) {
                if (!dbus_message_get_args(reply, &error, DBUS_TYPE_UINT32, &pid, DBUS_TYPE_INVALID)) pid = 0;
                dbus_message_unref(reply);
            }
        }
        if (ask) dbus_message_unref(ask);
        dbus_error_free(&error);
        return static_cast<pid_t>(pid);
    }
    // Flips the session's accessibility switch as another program would.
    bool setEnabled(bool on) {
        DBusMessage* set = dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus", DBUS_INTERFACE_PROPERTIES, "Set");
        if (!set) return false;
        const char* interface = "org.a11y.Status";
        const char* property = "IsEnabled";
        const dbus_bool_t value = on;
        DBusMessageIter it, variant;
        dbus_message_iter_init_append(set, &it);
        bool ok = dbus_message_iter_append_basic(&it, DBUS_TYPE_STRING, &interface) &&
                  dbus_message_iter_append_basic(&it, DBUS_TYPE_STRING, &property) &&
                  dbus_message_iter_open_container(&it, DBUS_TYPE_VARIANT, DBUS_TYPE_BOOLEAN_AS_STRING, &variant) &&
                  dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &value) &&
                  dbus_message_iter_close_container(&it, &variant);
        DBusError error;
        dbus_error_init(&error);
        DBusMessage* reply = ok ? dbus_connection_send_with_reply_and_block(connection_, set, 1000, &error) : nullptr;
        ok = reply != nullptr;
        if (reply) dbus_message_unref(reply);
        dbus_message_unref(set);
        dbus_error_free(&error);
        return ok;
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

// Whether the permission comes to read `expected` within 20 s: the launcher announces a change a
// moment after it is made.
bool comesToRead(A11yBusPermission& permission, bool expected) {
    for (int i = 0; i < 400; ++i) {
        if (permission.isGranted() == expected) return true;
        ::usleep(50000);
    }
    return false;
}

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

// The answer is kept between looks; each change made while it runs must still reach it.
TEST(A11yBusPermissionTest, TheSwitchFlippedElsewhereAndTheLauncherLeavingAreSeenWhileRunning) {
    PrivateSessionBus bus;
    if (bus.address().empty()) GTEST_SKIP() << "dbus-daemon or the accessibility bus launcher is not installed";
    BusClient client(bus.address());
    ASSERT_TRUE(client.start("org.a11y.Bus")) << bus.address();
    A11yBusPermission permission(bus.address());
    EXPECT_FALSE(permission.isGranted());  // read once, and kept from here on

    // Switched on and off by someone else.
    ASSERT_TRUE(client.setEnabled(true));
    EXPECT_TRUE(comesToRead(permission, true)) << "granted elsewhere, never seen";
    ASSERT_TRUE(client.setEnabled(false));
    EXPECT_TRUE(comesToRead(permission, false)) << "revoked elsewhere, never seen";
    ASSERT_TRUE(client.setEnabled(true));
    EXPECT_TRUE(comesToRead(permission, true)) << "granted again, never seen";

    // The launcher going away takes the grant with it, though nobody switched it off.
    const pid_t launcher = client.ownerPid("org.a11y.Bus");
    ASSERT_GT(launcher, 0);
    ASSERT_EQ(kill(launcher, SIGTERM), 0);
    EXPECT_TRUE(comesToRead(permission, false)) << "the launcher left, the grant stayed";
    EXPECT_FALSE(client.hasOwner("org.a11y.Bus")) << "reading started a launcher";
}
