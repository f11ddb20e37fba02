#include "platform/linux/AtspiAccessibilityTree.h"

#include <atspi/atspi.h>

#include <chrono>
#include <map>
#include <utility>

#include "engine/support/Utf8.h"
#include "platform/AccessibilityPermission.h"

namespace velmora {

namespace {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kCallTimeoutMs = 250;
constexpr auto kCallTimeout = std::chrono::milliseconds(kCallTimeoutMs);
constexpr auto kPollBudget = 150ms;
constexpr auto kUnresponsivePause = 5s;
// A text longer than this is no address, and reading it whole would cost more than it tells.
constexpr int kMaxValueCharacters = 8192;
constexpr std::size_t kMaxCachedApps = 64;

struct Unref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};
using AtspiPtr = std::unique_ptr<AtspiAccessible, Unref>;

// False, and the error dropped, when a call failed.
bool succeeded(GError*& error) {
    if (!error) return true;
    g_clear_error(&error);
    return false;
}

std::optional<std::string> takeText(gchar* text) {
    if (!text) return std::nullopt;
    std::string out = utf8::sanitize(text);
    g_free(text);
    return out;
}

// The calls made for one application element handed out (one poll).
struct Session {
    std::int32_t pid = 0;
    Steady::time_point deadline;
};

struct Element final : AccessibleElement {
    Element(AtspiPtr o, std::shared_ptr<Session> s, bool app) : object(std::move(o)), session(std::move(s)), isApplication(app) {}
    AtspiPtr object;
    std::shared_ptr<Session> session;
    bool isApplication;
    // Read once per poll: the monitor's three searches walk the same elements.
    mutable std::optional<std::string> role;
    mutable std::optional<AccessibilityValue::Elements> children;
};

bool hasState(AtspiStateSet* states, AtspiStateType state) { return states && atspi_state_set_contains(states, state); }

}  // namespace

struct AtspiAccessibilityTree::Impl {
    DesktopSession& desktop;
    AccessibilityPermission& permission;
    std::map<std::int32_t, Steady::time_point> pausedUntil;
    std::map<std::int32_t, AtspiPtr> appByPid;

    Impl(DesktopSession& d, AccessibilityPermission& p) : desktop(d), permission(p) {}

    // The library is one per process and cannot be taken down and started again; after a failed
    // start it must not be called at all (it would end the process), so it is started once, and
    // only once the session's accessibility is on.
    bool libraryUp() {
        enum class Library { untried, up, failed };
        static Library state = Library::untried;
        if (state == Library::untried && permission.isGranted()) {
            // 0: connected; 1: someone in this process already had.
            state = atspi_init() <= 1 ? Library::up : Library::failed;
            if (state == Library::up) atspi_set_timeout(kCallTimeoutMs, 0);
        }
        return state == Library::up;
    }

    bool paused(std::int32_t pid) {
        const auto it = pausedUntil.find(pid);
        if (it == pausedUntil.end()) return false;
        if (Steady::now() < it->second) return true;
        pausedUntil.erase(it);
        return false;
    }

    // Runs one bus call of a poll unless its budget is spent. A call that took about the timeout
    // means the app hangs (some calls report no error then): its answer counts as absent and the
    // app is left alone for a while.
    template <typename Call>
    bool guarded(Session& session, Call&& call) {
        const auto begin = Steady::now();
        if (begin >= session.deadline || paused(session.pid)) return false;
        const bool ok = call();
        if (Steady::now() - begin < kCallTimeout * 4 / 5) return ok;
        pausedUntil[session.pid] = Steady::now() + kUnresponsivePause;
        session.deadline = begin;
        return false;
    }

    std::optional<std::int32_t> pidOf(AtspiAccessible* app, Session& session) {
        guint pid = 0;
        GError* error = nullptr;
        if (!guarded(session, [&] {
                pid = atspi_accessible_get_process_id(app, &error);
                return succeeded(error);
            }))
            return std::nullopt;
        return static_cast<std::int32_t>(pid);
    }

    AtspiAccessible* findApp(std::int32_t pid, Session& session) {
        if (const auto it = appByPid.find(pid); it != appByPid.end()) {
            if (pidOf(it->second.get(), session) == pid) return it->second.get();
            appByPid.erase(it);
        }
        const AtspiPtr desktopElement(atspi_get_desktop(0));
        if (!desktopElement) return nullptr;
        GError* error = nullptr;
        gint count = 0;
        if (!guarded(session, [&] {
                count = atspi_accessible_get_child_count(desktopElement.get(), &error);
                return succeeded(error);
            }))
            return nullptr;
        for (gint i = 0; i < count; ++i) {
            AtspiPtr app;
            if (!guarded(session, [&] {
                    app.reset(atspi_accessible_get_child_at_index(desktopElement.get(), i, &error));
                    return succeeded(error) && app;
                }))
                continue;
            if (pidOf(app.get(), session) != pid) continue;
            // Apps that quit are only found out when asked for again; keep the cache small.
            if (appByPid.size() >= kMaxCachedApps) appByPid.clear();
            return appByPid.emplace(pid, std::move(app)).first->second.get();
        }
        return nullptr;
    }

    AtspiStateSet* statesOf(const Element& e) {
        AtspiStateSet* states = nullptr;
        if (guarded(*e.session, [&] {
                states = atspi_accessible_get_state_set(e.object.get());
                return states != nullptr;
            }))
            return states;
        if (states) g_object_unref(states);
        return nullptr;
    }

    std::optional<std::string> roleOf(const Element& e) {
        if (e.role) return e.role;
        AtspiRole role = ATSPI_ROLE_INVALID;
        GError* error = nullptr;
        if (!guarded(*e.session, [&] {
                role = atspi_accessible_get_role(e.object.get(), &error);
                return succeeded(error);
            }))
            return std::nullopt;
        switch (role) {
        case ATSPI_ROLE_DOCUMENT_WEB: e.role = "AXWebArea"; break;
        case ATSPI_ROLE_ENTRY: e.role = "AXTextField"; break;
        case ATSPI_ROLE_PAGE_TAB_LIST: e.role = "AXTabGroup"; break;
        case ATSPI_ROLE_PAGE_TAB: e.role = "AXRadioButton"; break;
        case ATSPI_ROLE_DIALOG:
        case ATSPI_ROLE_ALERT:
        case ATSPI_ROLE_FILE_CHOOSER: e.role = "AXDialog"; break;
        case ATSPI_ROLE_TEXT: {
            // A one-line editable text is a text field; a multi-line editor is not.
            AtspiStateSet* states = statesOf(e);
            if (hasState(states, ATSPI_STATE_EDITABLE) && !hasState(states, ATSPI_STATE_MULTI_LINE))
                e.role = "AXTextField";
            if (states) g_object_unref(states);
            break;
        }
        default: break;
        }
        if (!e.role) e.role = takeText(atspi_role_get_name(role)).value_or("unknown");
        return e.role;
    }

    const AccessibilityValue::Elements* childrenOf(const Element& e) {
        if (e.children) return &*e.children;
        GError* error = nullptr;
        gint count = 0;
        if (!guarded(*e.session, [&] {
                count = atspi_accessible_get_child_count(e.object.get(), &error);
                return succeeded(error);
            }))
            return nullptr;
        AccessibilityValue::Elements out;
        for (gint i = 0; i < count; ++i) {
            AtspiPtr child;
            // A list cut short by the budget is no list.
            if (!guarded(*e.session, [&] {
                    child.reset(atspi_accessible_get_child_at_index(e.object.get(), i, &error));
                    return succeeded(error);
                }))
                return nullptr;
            if (child) out.push_back(std::make_shared<Element>(std::move(child), e.session, false));
        }
        e.children = std::move(out);
        return &*e.children;
    }

    // The active top-level window, else the newest one showing.
    AccessibleRef focusedWindow(const Element& app) {
        const auto* windows = childrenOf(app);
        if (!windows) return nullptr;
        AccessibleRef showing;
        for (const auto& window : *windows) {
            AtspiStateSet* states = statesOf(static_cast<const Element&>(*window));
            const bool active = hasState(states, ATSPI_STATE_ACTIVE);
            if (hasState(states, ATSPI_STATE_SHOWING)) showing = window;
            if (states) g_object_unref(states);
            if (active) return window;
        }
        return showing;
    }

    std::optional<std::string> name(const Element& e) {
        std::optional<std::string> out;
        GError* error = nullptr;
        if (!guarded(*e.session, [&] {
                out = takeText(atspi_accessible_get_name(e.object.get(), &error));
                return succeeded(error);
            }))
            return std::nullopt;
        return out;
    }

    std::optional<std::string> documentURL(const Element& e) {
        std::unique_ptr<AtspiDocument, Unref> document;
        if (!guarded(*e.session, [&] {
                document.reset(atspi_accessible_get_document_iface(e.object.get()));
                return true;
            }) ||
            !document)
            return std::nullopt;
        for (const char* attribute : {"DocURL", "URI"}) {
            std::optional<std::string> value;
            GError* error = nullptr;
            if (guarded(*e.session, [&] {
                    value = takeText(atspi_document_get_document_attribute_value(
                        document.get(), const_cast<gchar*>(attribute), &error));
                    return succeeded(error);
                }) &&
                value && !value->empty())
                return value;
        }
        return std::nullopt;
    }

    AccessibilityValue text(const Element& e) {
        std::unique_ptr<AtspiText, Unref> text;
        if (!guarded(*e.session, [&] {
                text.reset(atspi_accessible_get_text_iface(e.object.get()));
                return true;
            }) ||
            !text)
            return {};
        GError* error = nullptr;
        gint count = 0;
        if (!guarded(*e.session, [&] {
                count = atspi_text_get_character_count(text.get(), &error);
                return succeeded(error);
            }))
            return {};
        if (count > kMaxValueCharacters) return {};
        std::optional<std::string> value;
        if (!guarded(*e.session, [&] {
                value = takeText(atspi_text_get_text(text.get(), 0, count, &error));
                return succeeded(error);
            }) ||
            !value)
            return {};
        return {std::move(*value)};
    }
};

AtspiAccessibilityTree::AtspiAccessibilityTree(DesktopSession& desktop, AccessibilityPermission& permission)
    : impl_(std::make_unique<Impl>(desktop, permission)) {}

AtspiAccessibilityTree::~AtspiAccessibilityTree() = default;

bool AtspiAccessibilityTree::isProcessTrusted() { return impl_->permission.isGranted(); }

std::optional<RunningApplication> AtspiAccessibilityTree::frontmostApplication() {
    for (auto& app : impl_->desktop.runningApplications())
        if (app.isActive) return std::move(app);
    return std::nullopt;
}

AccessibleRef AtspiAccessibilityTree::applicationElement(std::int32_t pid) {
    if (pid <= 0 || !impl_->libraryUp() || impl_->paused(pid)) return nullptr;
    auto session = std::make_shared<Session>(Session{pid, Steady::now() + kPollBudget});
    AtspiAccessible* app = impl_->findApp(pid, *session);
    if (!app) return nullptr;
    return std::make_shared<Element>(AtspiPtr(static_cast<AtspiAccessible*>(g_object_ref(app))), session, true);
}

AccessibilityValue AtspiAccessibilityTree::copyAttributeValue(const AccessibleRef& element, std::string_view attribute) {
    const auto* e = dynamic_cast<const Element*>(element.get());
    if (!e) return {};
    if (e->isApplication) {
        // Focus at window granularity: each finer look would cost a call per element.
        if (attribute == "AXFocusedWindow" || attribute == "AXFocusedUIElement") return {impl_->focusedWindow(*e)};
        if (attribute == "AXChildren") {
            if (const auto* children = impl_->childrenOf(*e)) return {*children};
        }
        return {};
    }
    if (attribute == "AXRole") {
        if (auto role = impl_->roleOf(*e)) return {std::move(*role)};
    } else if (attribute == "AXTitle") {
        if (auto title = impl_->name(*e)) return {std::move(*title)};
    } else if (attribute == "AXChildren") {
        if (const auto* children = impl_->childrenOf(*e)) return {*children};
    } else if (attribute == "AXURL" || attribute == "AXDocument") {
        if (auto url = impl_->documentURL(*e)) return {std::move(*url)};
    } else if (attribute == "AXValue") {
        return impl_->text(*e);
    }
    return {};
}

}  // namespace velmora
