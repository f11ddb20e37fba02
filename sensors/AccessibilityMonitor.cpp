#include "sensors/AccessibilityMonitor.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "engine/activity/ActivityEventBus.h"
#include "engine/support/Text.h"
#include "platform/Clock.h"
#include "sensors/PageLabel.h"

namespace velmora {

namespace {

// Bounds of the tree searches: a slow app's tree is never walked whole.
constexpr int kWebAreaDepth = 6;
constexpr int kFieldDepth = 5;
constexpr std::size_t kMaxChildrenVisited = 20;

// The host of an address without any "www."; none when it has no host or is no address.
std::optional<std::string> hostOfURL(std::string_view text) {
    auto host = addressHost(text);
    if (!host) return std::nullopt;
    std::string bare = removeAll(std::move(*host), "www.");
    if (bare.empty()) return std::nullopt;
    return bare;
}

// The last path component, the way a document's file name is shown: trailing slashes do not count.
std::string lastPathComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    if (path == "/") return std::string(path);
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

ProcessIdentity identityOf(const RunningApplication& app) {
    ProcessIdentity id;
    id.displayName = app.localizedName.value_or("Unknown");
    id.groupingKey = app.bundleIdentifier ? *app.bundleIdentifier : "name:" + id.displayName;
    id.bundleID = app.bundleIdentifier;
    id.pids = {app.pid};
    return id;
}

// A poll reads the focused window once and starts every search from it.
AccessibleRef focusedWindowOf(AccessibilityTree& tree, const AccessibleRef& app) {
    return app ? tree.copyAttributeValue(app, "AXFocusedWindow").element() : nullptr;
}

bool isDialogRole(const std::optional<std::string>& role) { return role == "AXSheet" || role == "AXDialog"; }

}  // namespace

AccessibilityMonitor::AccessibilityMonitor(ActivityEventBus& bus, Scheduler& scheduler, const Clock& clock,
                                           AccessibilityTree& tree, std::int32_t selfPid)
    : bus_(bus), scheduler_(scheduler), clock_(clock), tree_(tree), selfPid_(selfPid) {}

AccessibilityMonitor::~AccessibilityMonitor() { stop(); }

void AccessibilityMonitor::start() {
    stop();
    isTrusted_ = tree_.isProcessTrusted();
    if (!isTrusted_) return;
    timer_ = scheduler_.scheduleRepeating(pollInterval, [this] { poll(); });
    poll();
}

void AccessibilityMonitor::stop() {
    if (timer_) scheduler_.cancel(*timer_);
    timer_.reset();
}

std::optional<std::string> AccessibilityMonitor::copyStringAttribute(const AccessibleRef& element,
                                                                     std::string_view attribute) {
    if (!element) return std::nullopt;
    const auto value = tree_.copyAttributeValue(element, attribute);
    const auto* text = value.text();
    return text && !text->empty() ? std::optional(*text) : std::nullopt;
}

std::optional<std::string> AccessibilityMonitor::urlFromAttributes(const AccessibleRef& element) {
    if (!element) return std::nullopt;
    for (const std::string_view attribute : {"AXURL", "AXDocument"}) {
        const auto value = tree_.copyAttributeValue(element, attribute);
        if (const auto* text = value.text(); text && (contains(*text, "://") || text->starts_with("http")))
            return *text;
    }
    return std::nullopt;
}

AccessibleRef AccessibilityMonitor::findDescendant(const AccessibleRef& element, std::string_view role, int depth) {
    if (depth < 1 || !element) return nullptr;
    if (copyStringAttribute(element, "AXRole") == role) return element;
    const auto children = tree_.copyAttributeValue(element, "AXChildren");
    const auto* list = children.elements();
    if (!list) return nullptr;
    const std::size_t visited = std::min(list->size(), kMaxChildrenVisited);
    for (std::size_t i = 0; i < visited; ++i)
        if (auto hit = findDescendant((*list)[i], role, depth - 1)) return hit;
    return nullptr;
}

std::optional<std::string> AccessibilityMonitor::focusedURL(const AccessibleRef& app) {
    return urlInWindow(focusedWindowOf(tree_, app));
}

std::optional<std::string> AccessibilityMonitor::visibleTabSummary(const AccessibleRef& app) {
    return tabSummaryInWindow(focusedWindowOf(tree_, app));
}

std::optional<std::string> AccessibilityMonitor::urlInWindow(const AccessibleRef& window) {
    if (!window) return std::nullopt;
    if (auto url = urlFromAttributes(window)) return url;
    if (const auto web = findDescendant(window, "AXWebArea", kWebAreaDepth)) {
        if (auto url = urlFromAttributes(web)) return url;
        if (auto url = copyStringAttribute(web, "AXURL")) return url;
    }
    const auto field = findDescendant(window, "AXTextField", kFieldDepth);
    auto value = copyStringAttribute(field, "AXValue");
    if (value && (contains(*value, "://") || (contains(*value, ".") && contains(*value, "/")))) return value;
    return std::nullopt;
}

std::optional<std::string> AccessibilityMonitor::tabSummaryInWindow(const AccessibleRef& window) {
    const auto group = findDescendant(window, "AXTabGroup", kFieldDepth);
    if (!group) return std::nullopt;
    const auto children = tree_.copyAttributeValue(group, "AXChildren");
    const auto* list = children.elements();
    if (!list) return std::nullopt;
    // Every child counts here; the 20-child bound is for searching, not for counting tabs.
    const auto tabs = std::count_if(list->begin(), list->end(), [&](const AccessibleRef& child) {
        const auto role = copyStringAttribute(child, "AXRole");
        return role == "AXRadioButton" || role == "AXButton";
    });
    if (tabs < 2) return std::nullopt;
    return std::to_string(tabs) + " tabs visible";
}

std::optional<std::string> AccessibilityMonitor::focusedRole(const AccessibleRef& app) {
    if (!app) return std::nullopt;
    return copyStringAttribute(tree_.copyAttributeValue(app, "AXFocusedUIElement").element(), "AXRole");
}

void AccessibilityMonitor::publish(ActivityEventKind kind, const ProcessIdentity& app,
                                   std::optional<std::string> windowTitle, std::optional<std::string> urlString,
                                   std::optional<std::string> detail, std::optional<std::string> semanticLabel) {
    bus_.publish(ActivityEvent{Uuid::random(), clock_.now(), kind, app, std::move(windowTitle), std::move(urlString),
                               std::move(detail), std::move(semanticLabel)});
}

void AccessibilityMonitor::poll() {
    isTrusted_ = tree_.isProcessTrusted();
    if (!isTrusted_) return;
    const auto front = tree_.frontmostApplication();
    if (!front || front->pid == selfPid_) return;
    const ProcessIdentity app = identityOf(*front);
    // A sensitive app is not even read.
    if (ActivityEventBus::isSensitive(app, std::nullopt) || ActivityEventBus::hidesPrivateWindows(app)) return;

    const AccessibleRef element = tree_.applicationElement(front->pid);
    const AccessibleRef window = focusedWindowOf(tree_, element);
    const auto title = copyStringAttribute(window, "AXTitle");
    const auto url = urlInWindow(window);
    const auto document = copyStringAttribute(window, "AXDocument");
    const auto role = focusedRole(element);
    const auto tabs = tabSummaryInWindow(window);

    // Addresses can name a private window as well as titles can; nothing sensitive is kept.
    for (const auto& seen : {title, url, document})
        if (seen && ActivityEventBus::isSensitive(app, *seen)) return;

    if (lastFrontmostKey_ != app.groupingKey) {
        lastFrontmostKey_ = app.groupingKey;
        lastWindowTitle_.reset();
        lastURL_.reset();
        lastDocument_.reset();
    }
    if (document && document != lastDocument_ && !document->empty()) {
        lastDocument_ = document;
        publish(ActivityEventKind::documentOpened, app, title, std::nullopt, lastPathComponent(*document), "document");
    }
    if (url && url != lastURL_ && !url->empty()) {
        lastURL_ = url;
        publish(ActivityEventKind::pageNavigated, app, title, url, hostOfURL(*url), "url_change");
    }
    if (title && title != lastWindowTitle_) {
        const auto kind = lastWindowTitle_ ? ActivityEventKind::titleChanged : ActivityEventKind::windowOpened;
        publish(kind, app, title, url ? url : lastURL_, tabs, std::nullopt);
        lastWindowTitle_ = title;
    }
    if (isDialogRole(role)) {
        std::string key = std::to_string(front->pid) + "-" + *role + "-" + title.value_or("");
        if (key != lastDialogKey_) {
            lastDialogKey_ = std::move(key);
            publish(ActivityEventKind::dialogAppeared, app, title, std::nullopt, role, std::nullopt);
        }
    } else {
        // The same dialog opened again later is news again.
        lastDialogKey_.reset();
    }
    lastPID_ = front->pid;
}

}  // namespace velmora
