#include "engine/sampling/ProcessGrouper.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_map>

#include "engine/sampling/BrowserFamily.h"
#include "engine/support/ByteMath.h"
#include "engine/support/Text.h"
#include "engine/support/Utf8.h"

namespace velmora {

namespace {

using namespace std::string_view_literals;

struct CliTool {
    std::string_view name;  // lower case
    std::string_view displayName;
};

constexpr auto cliToolNames = std::to_array<CliTool>({
    {"node", "Node.js"},
    {"python3", "Python"},
    {"python", "Python"},
    {"ruby", "Ruby"},
    {"java", "Java"},
    {"go", "Go"},
    {"cargo", "Rust (Cargo)"},
    {"rustc", "Rust"},
    {"docker", "Docker"},
    {"dockerd", "Docker"},
    {"com.docker.backend", "Docker"},
    {"com.docker.driver.amd64-linux", "Docker"},
    {"postgres", "PostgreSQL"},
    {"mysqld", "MySQL"},
    {"redis-server", "Redis"},
    {"mongod", "MongoDB"},
    {"ollama", "Ollama"},
    {"npm", "npm"},
    {"yarn", "Yarn"},
    {"pnpm", "pnpm"},
    {"webpack", "Webpack"},
    {"vite", "Vite"},
    {"next-server", "Next.js"},
    {"php", "PHP"},
    {"nginx", "nginx"},
    // Linux: Debian installs Node.js as "nodejs" and MariaDB's server as "mariadbd"; versioned
    // names ("python3.11", "php8.2") match once their version is cut off.
    {"nodejs", "Node.js"},
    {"mariadbd", "MariaDB"},
});

constexpr auto terminalBundleIDs = std::to_array<std::string_view>({
    "com.apple.Terminal",
    "com.googlecode.iterm2",
    "dev.warp.Warp-Stable",
    "dev.warp.Warp",
    "co.zeit.hyper",
    "net.kovidgoyal.kitty",
    "org.alacritty",
    "io.alacritty",
    "com.github.wez.wezterm",
    // Linux desktop-entry ids.
    "org.gnome.Terminal",
    "org.gnome.Console",
    "org.gnome.Ptyxis",
    "org.kde.konsole",
    "org.kde.yakuake",
    "xfce4-terminal",
    "org.xfce.terminal",
    "com.gexperts.Tilix",
    "terminator",
    "kitty",
    "Alacritty",
    "org.wezfurlong.wezterm",
    "foot",
    "xterm",
    // xterm has no desktop-entry id of its own on Debian and is usually known by its window class.
    "debian-xterm",
    "debian-uxterm",
    "XTerm",
    "UXTerm",
});

constexpr auto helperFragments = std::to_array<std::string_view>({
    "helper", "web content", "graphics and media", "gpu", "network",
    "plugin", "renderer", "crashpad", "headless", "ffmpeg",
});

constexpr auto helperSuffixes = std::to_array<std::string_view>({
    " helper", " (renderer)", " (gpu)", " (plugin)", " web content", " graphics and media", " networking",
});

constexpr int parentWalkLimit = 16;

const CliTool* exactCliTool(std::string_view lowerName) {
    static const auto table = [] {
        std::unordered_map<std::string_view, const CliTool*> m;
        for (const auto& t : cliToolNames) m.emplace(t.name, &t);
        return m;
    }();
    const auto it = table.find(lowerName);
    return it == table.end() ? nullptr : it->second;
}

// The tool row of a name as it is, else with its minor version cut ("python3.11" → "python3"), else
// with its whole trailing version cut ("php8.2" → "php").
const CliTool* cliTool(std::string_view lowerName) {
    if (const CliTool* tool = exactCliTool(lowerName)) return tool;
    const auto versionStart = lowerName.find_last_not_of("0123456789.");
    if (versionStart == std::string_view::npos || versionStart + 1 == lowerName.size()) return nullptr;
    const std::string_view version = lowerName.substr(versionStart + 1);
    if (version.front() == '.' || version.back() == '.') return nullptr;
    if (const auto dot = lowerName.rfind('.'); dot > versionStart && dot != std::string_view::npos)
        if (const CliTool* tool = exactCliTool(lowerName.substr(0, dot))) return tool;
    return exactCliTool(lowerName.substr(0, versionStart + 1));
}

bool isTerminal(const std::optional<std::string>& bundleID) {
    return bundleID && std::find(terminalBundleIDs.begin(), terminalBundleIDs.end(), *bundleID) != terminalBundleIDs.end();
}

struct TransparentHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// One process with what the grouping asks of it more than once.
struct Entry {
    const RawProcess* p = nullptr;
    std::string lowerName;
    std::string lowerBundle;  // empty when absent
    bool isRoot = false;
    int family = -2;  // index into familyTests, -1 none, -2 not yet known
};

class Grouping {
public:
    Grouping(const std::vector<RawProcess>& raw, bool includeSelf, const SelfProcess& self)
        : includeSelf_(includeSelf), self_(self) {
        entries_.reserve(raw.size());
        byPid_.reserve(raw.size());
        for (const auto& p : raw) {
            Entry e;
            e.p = &p;
            e.lowerName = utf8::lower(p.name);
            if (p.bundleID) e.lowerBundle = utf8::lower(*p.bundleID);
            e.isRoot = !isHelperLike(e) && (p.bundleID.has_value() || p.isApp);
            byPid_[p.pid] = entries_.size();  // a later duplicate wins
            entries_.push_back(std::move(e));
        }
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].isRoot) roots_.push_back(i);
        }
    }

    std::vector<ProcessGrouper::GroupedApp> run() {
        for (std::size_t i = 0; i < entries_.size(); ++i) add(i);
        std::stable_sort(groups_.begin(), groups_.end(), [](const auto& a, const auto& b) {
            return a.footprintBytes > b.footprintBytes;
        });
        return std::move(groups_);
    }

private:
    static bool isHelperLike(const Entry& e) {
        for (auto f : helperFragments) {
            if (contains(e.lowerName, f)) return true;
        }
        if (contains(e.lowerBundle, "webkit") && !contains(e.lowerBundle, "safari")) return true;
        return contains(e.lowerBundle, ".helper");
    }

    // Walks at most 16 ancestors of entry i, stopping at a missing parent or a process that is its
    // own parent; returns the first ancestor for which `test` holds.
    template <class Test>
    std::optional<std::size_t> findAncestor(std::size_t i, Test test) const {
        std::int32_t from = entries_[i].p->pid;
        std::int32_t parent = entries_[i].p->parentPID;
        for (int step = 0; step < parentWalkLimit; ++step) {
            const auto it = byPid_.find(parent);
            if (it == byPid_.end()) return std::nullopt;
            const Entry& a = entries_[it->second];
            if (a.p->pid == from) return std::nullopt;
            if (test(a)) return it->second;
            from = a.p->pid;
            parent = a.p->parentPID;
        }
        return std::nullopt;
    }

    bool hasTerminalAncestor(std::size_t i) const {
        return findAncestor(i, [](const Entry& a) { return isTerminal(a.p->bundleID); }).has_value();
    }

    std::optional<std::size_t> ownerByName(const std::string& lowerName) const {
        std::string base = lowerName;
        for (auto suffix : helperSuffixes) {
            for (auto at = base.find(suffix); at != std::string::npos; at = base.find(suffix, at)) {
                base.erase(at, suffix.size());
            }
        }
        base = utf8::trim(base);
        for (std::size_t r : roots_) {
            const std::string& candidate = entries_[r].lowerName;
            // An empty name is a prefix of every name and would swallow every helper.
            if (candidate.empty()) continue;
            if (candidate == base || lowerName.starts_with(candidate)) return r;
        }
        if (!contains(lowerName, "web content") && !contains(lowerName, "webkit") &&
            !contains(lowerName, "graphics and media")) {
            return std::nullopt;
        }
        for (std::size_t r : roots_) {
            const Entry& c = entries_[r];
            if ((c.p->bundleID && contains(*c.p->bundleID, "Safari")) || c.lowerName == "safari") return r;
        }
        for (std::size_t r : roots_) {
            const Entry& c = entries_[r];
            if (contains(c.lowerBundle, "chrome") || contains(c.lowerName, "chrome")) return r;
        }
        for (std::size_t r : roots_) {
            if (containsWholeWord(entries_[r].lowerName, "dia")) return r;
        }
        return std::nullopt;
    }

    std::size_t rootOwner(std::size_t i) const {
        if (entries_[i].isRoot) return i;
        if (auto a = findAncestor(i, [](const Entry& e) { return e.isRoot; })) return *a;
        if (auto n = ownerByName(entries_[i].lowerName)) return *n;
        return i;
    }

    // The first grouped browser family named in the name or in the bundle identifier.
    const BrowserFamily* family(std::size_t i) {
        Entry& e = entries_[i];
        if (e.family == -2) {
            e.family = -1;
            const auto all = browserFamilies();
            for (std::size_t f = 0; f < all.size() && e.family < 0; ++f) {
                const BrowserFamily& b = all[f];
                if (!b.grouped) continue;
                const bool hit =
                    namesFamily(e.lowerName, b) ||
                    (b.bundleWord.empty() ? mentionsFamily(e.lowerBundle, b) : contains(e.lowerBundle, b.bundleWord));
                if (hit) e.family = static_cast<int>(f);
            }
        }
        return e.family < 0 ? nullptr : &browserFamilies()[static_cast<std::size_t>(e.family)];
    }

    void add(std::size_t i) {
        const Entry& e = entries_[i];
        const RawProcess& p = *e.p;
        const bool processIsSelf = p.pid == self_.pid || (self_.bundleID && p.bundleID == self_.bundleID) ||
                                   contains(e.lowerName, "velmora");

        bool isSelf = processIsSelf;
        bool foreground = p.isActive;
        const CliTool* tool = nullptr;
        const BrowserFamily* fam = nullptr;
        std::size_t owner = i;

        key_.clear();
        if (!p.bundleID && !processIsSelf && (tool = cliTool(e.lowerName))) {
            key_.append("cli:").append(tool->name);
        } else {
            owner = rootOwner(i);
            fam = family(owner);
            const RawProcess& o = *entries_[owner].p;
            if (fam) key_.append("family:").append(fam->word);
            else if (o.bundleID) key_.append(*o.bundleID);
            else key_.append("name:").append(o.name);
            foreground = foreground || o.isActive;
            // A process charged to this application is part of it, also when the owner was
            // recognised only by its pid.
            isSelf = isSelf || o.pid == self_.pid || (self_.bundleID && o.bundleID == self_.bundleID) ||
                     (!fam && contains(entries_[owner].lowerName, "velmora"));
        }
        if (isSelf && !includeSelf_) return;

        ProcessDetail detail{p.pid, p.name, p.footprintBytes, p.parentPID != 0 ? std::optional(p.parentPID) : std::nullopt};
        const std::uint64_t compressed = p.compressedBytes.value_or(0);

        if (auto it = groupIndex_.find(std::string_view(key_)); it != groupIndex_.end()) {
            auto& g = groups_[it->second];
            auto& pids = g.identity.pids;
            pids.insert(std::upper_bound(pids.begin(), pids.end(), p.pid), p.pid);
            g.identity.isSelf = g.identity.isSelf || isSelf;
            g.footprintBytes = saturatingAdd(g.footprintBytes, p.footprintBytes);
            g.compressedBytes = saturatingAdd(g.compressedBytes, compressed);
            g.isForeground = g.isForeground || foreground;
            g.processDetails.push_back(std::move(detail));
            return;
        }

        ProcessIdentity identity;
        identity.groupingKey = key_;
        if (tool) {
            identity.displayName = tool->displayName;
            if (hasTerminalAncestor(i)) identity.displayName += " (Terminal)";
        } else {
            const RawProcess& o = *entries_[owner].p;
            identity.bundleID = o.bundleID;
            identity.displayName = fam ? std::string(fam->displayName) : o.name;
        }
        identity.pids = {p.pid};
        identity.isSelf = isSelf;
        groupIndex_.emplace(key_, groups_.size());
        groups_.push_back(ProcessGrouper::GroupedApp{std::move(identity), p.footprintBytes, compressed, foreground,
                                                     {std::move(detail)}});
    }

    bool includeSelf_;
    const SelfProcess& self_;
    std::vector<Entry> entries_;
    std::unordered_map<std::int32_t, std::size_t> byPid_;
    std::vector<std::size_t> roots_;
    std::unordered_map<std::string, std::size_t, TransparentHash, std::equal_to<>> groupIndex_;
    std::vector<ProcessGrouper::GroupedApp> groups_;
    std::string key_;
};

}  // namespace

std::vector<ProcessGrouper::GroupedApp> ProcessGrouper::group(const std::vector<RawProcess>& raw, bool includeSelf,
                                                             const SelfProcess& self) {
    return Grouping(raw, includeSelf, self).run();
}

}  // namespace velmora
