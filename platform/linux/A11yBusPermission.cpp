#include "platform/linux/A11yBusPermission.h"

#include <dbus/dbus.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

namespace velmora {

namespace {

constexpr int kTimeoutMs = 250;
constexpr const char* kLauncher = "org.a11y.Bus";
constexpr const char* kLauncherPath = "/org/a11y/bus";
constexpr const char* kStatus = "org.a11y.Status";
constexpr const char* kEnabled = "IsEnabled";
constexpr const char* kOwnerRule =
    "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',member='NameOwnerChanged',"
    "arg0='org.a11y.Bus'";
constexpr const char* kStatusRule =
    "type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',path='/org/a11y/bus',"
    "arg0='org.a11y.Status'";

struct MessageDeleter {
    void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using Message = std::unique_ptr<DBusMessage, MessageDeleter>;

}  // namespace

struct A11yBusPermission::Impl {
    std::optional<std::string> address;
    DBusConnection* connection = nullptr;
    // The launcher's coming and going and its switch's changes are announced on this connection.
    bool watching = false;
    // The last answer, kept until one of those announcements; none when it must be read.
    std::optional<bool> known;

    ~Impl() { drop(); }

    void drop() {
        known.reset();
        watching = false;
        if (!connection) return;
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
        connection = nullptr;
    }

    // A private connection of our own, so nothing else's use of the session bus is disturbed.
    bool connect() {
        if (connection && dbus_connection_get_is_connected(connection)) return true;
        drop();
        if (!address) return false;
        DBusError error;
        dbus_error_init(&error);
        connection = dbus_connection_open_private(address->c_str(), &error);
        if (connection) {
            dbus_connection_set_exit_on_disconnect(connection, FALSE);
            if (!dbus_bus_register(connection, &error)) drop();
        }
        dbus_error_free(&error);
        if (connection) watching = watch(kOwnerRule) && watch(kStatusRule);
        return connection != nullptr;
    }

    bool watch(const char* rule) {
        DBusError error;
        dbus_error_init(&error);
        dbus_bus_add_match(connection, rule, &error);
        const bool ok = !dbus_error_is_set(&error);
        dbus_error_free(&error);
        return ok;
    }

    static bool firstArgumentIs(DBusMessage* message, const char* value) {
        DBusMessageIter it;
        if (!dbus_message_iter_init(message, &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_STRING) return false;
        const char* text = nullptr;
        dbus_message_iter_get_basic(&it, &text);
        return text && std::strcmp(text, value) == 0;
    }

    // Reads what has arrived without waiting; an announcement drops the kept answer. Whether
    // there was one.
    bool takeAnnouncements() {
        bool announced = false;
        for (bool more = true; more && connection;) {
            dbus_connection_read_write(connection, 0);
            more = false;
            while (DBusMessage* message = dbus_connection_pop_message(connection)) {
                more = true;
                if ((dbus_message_is_signal(message, DBUS_INTERFACE_DBUS, "NameOwnerChanged") &&
                     firstArgumentIs(message, kLauncher)) ||
                    (dbus_message_is_signal(message, DBUS_INTERFACE_PROPERTIES, "PropertiesChanged") &&
                     firstArgumentIs(message, kStatus)) ||
                    dbus_message_is_signal(message, DBUS_INTERFACE_LOCAL, "Disconnected")) {
                    known.reset();
                    announced = true;
                }
                dbus_message_unref(message);
            }
        }
        return announced;
    }

    // `settled` is cleared when the launcher was there but gave no answer (a timeout, say): that
    // answer is not kept, as no announcement would replace it.
    Message call(Message message, bool mayStartLauncher, bool* settled = nullptr) {
        if (!message || !connect()) return nullptr;
        dbus_message_set_auto_start(message.get(), mayStartLauncher);
        DBusError error;
        dbus_error_init(&error);
        Message reply(dbus_connection_send_with_reply_and_block(connection, message.get(), kTimeoutMs, &error));
        if (!reply && settled && !dbus_error_has_name(&error, DBUS_ERROR_SERVICE_UNKNOWN) &&
            !dbus_error_has_name(&error, DBUS_ERROR_NAME_HAS_NO_OWNER))
            *settled = false;
        dbus_error_free(&error);
        return reply;
    }

    static Message method(const char* interface, const char* name) {
        return Message(dbus_message_new_method_call(kLauncher, kLauncherPath, interface, name));
    }

    bool isEnabled(bool& settled) {
        auto get = method(DBUS_INTERFACE_PROPERTIES, "Get");
        if (!get || !dbus_message_append_args(get.get(), DBUS_TYPE_STRING, &kStatus, DBUS_TYPE_STRING, &kEnabled,
                                              DBUS_TYPE_INVALID))
            return false;
        const auto reply = call(std::move(get), false, &settled);
        DBusMessageIter it, variant;
        if (!reply || !dbus_message_iter_init(reply.get(), &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_VARIANT)
            return false;
        dbus_message_iter_recurse(&it, &variant);
        if (dbus_message_iter_get_arg_type(&variant) != DBUS_TYPE_BOOLEAN) return false;
        dbus_bool_t enabled = FALSE;
        dbus_message_iter_get_basic(&variant, &enabled);
        return enabled;
    }

    bool hasBusAddress(bool& settled) {
        const auto reply = call(method(kLauncher, "GetAddress"), false, &settled);
        const char* text = nullptr;
        DBusError error;
        dbus_error_init(&error);
        const bool ok = reply && dbus_message_get_args(reply.get(), &error, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID) &&
                        text && text[0] != '\0';
        dbus_error_free(&error);
        return ok;
    }

    bool isGranted() {
        if (!connect()) return false;
        takeAnnouncements();
        if (known) return *known;
        bool settled = true;
        const bool granted = isEnabled(settled) && hasBusAddress(settled);
        // A change announced during the calls may be newer than an answer: the next look reads again.
        const bool announced = takeAnnouncements();
        if (!announced && settled && watching && connection && dbus_connection_get_is_connected(connection))
            known = granted;
        return granted;
    }

    bool enable() {
        auto set = method(DBUS_INTERFACE_PROPERTIES, "Set");
        if (!set) return false;
        DBusMessageIter it, variant;
        const dbus_bool_t on = TRUE;
        dbus_message_iter_init_append(set.get(), &it);
        const bool built = dbus_message_iter_append_basic(&it, DBUS_TYPE_STRING, &kStatus) &&
                           dbus_message_iter_append_basic(&it, DBUS_TYPE_STRING, &kEnabled) &&
                           dbus_message_iter_open_container(&it, DBUS_TYPE_VARIANT, DBUS_TYPE_BOOLEAN_AS_STRING, &variant) &&
                           dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &on) &&
                           dbus_message_iter_close_container(&it, &variant);
        const bool sent = built && call(std::move(set), true) != nullptr;
        // Read again at once rather than wait for the launcher's announcement.
        known.reset();
        return sent;
    }
};

std::optional<std::string> A11yBusPermission::sessionBusAddress(const char* busAddress, const char* runtimeDir) {
    if (busAddress && busAddress[0] != '\0') return std::string(busAddress);
    // Never the library's fallback of launching a bus of our own.
    if (!runtimeDir || runtimeDir[0] == '\0') return std::nullopt;
    const std::string socket = std::string(runtimeDir) + "/bus";
    struct stat info {};
    if (stat(socket.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) return std::nullopt;
    return "unix:path=" + socket;
}

A11yBusPermission::A11yBusPermission()
    : A11yBusPermission(sessionBusAddress(std::getenv("DBUS_SESSION_BUS_ADDRESS"), std::getenv("XDG_RUNTIME_DIR"))) {}

A11yBusPermission::A11yBusPermission(std::optional<std::string> address) : impl_(std::make_unique<Impl>()) {
    impl_->address = std::move(address);
}

A11yBusPermission::~A11yBusPermission() = default;

bool A11yBusPermission::isGranted() { return impl_->isGranted(); }

bool A11yBusPermission::request() {
    impl_->enable();
    return isGranted();
}

}  // namespace velmora
