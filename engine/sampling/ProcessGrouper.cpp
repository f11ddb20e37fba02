#include "engine/sampling/ProcessGrouper.h"

#include <algorithm>
#include <array>
#include <deque>
#include <string_view>
#include <unordered_map>

#include "engine/sampling/BrowserFamily.h"
#include "engine/support/ByteMath.h"
#include "engine/support/Text.h"
#include "engine/support/Utf8.h"
#include "platform/FileSystem.h"

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

bool isHelperLike(std::string_view lowerName, std::string_view lowerBundle) {
    for (auto f : helperFragments) {
        if (contains(lowerName, f)) return true;
    }
    if (contains(lowerBundle, "webkit") && !contains(lowerBundle, "safari")) return true;
    return contains(lowerBundle, ".helper");
}

// The first grouped browser family named in the name or in the bundle identifier; -1 for none.
int familyIndex(std::string_view lowerName, std::string_view lowerBundle) {
    const auto all = browserFamilies();
    for (std::size_t f = 0; f < all.size(); ++f) {
        const BrowserFamily& b = all[f];
        if (!b.grouped) continue;
        if (namesFamily(lowerName, b) ||
            (b.bundleWord.empty() ? mentionsFamily(lowerBundle, b) : contains(lowerBundle, b.bundleWord)))
            return static_cast<int>(f);
    }
    return -1;
}

// The folder a process runs from, when it is one whose programs belong together; nothing for a
// folder of many programs, where the program beside a helper tells nothing of whose it is.
std::optional<std::string_view> ownFolder(const std::optional<std::string>& executablePath) {
    if (!executablePath) return std::nullopt;
    const std::string_view path = *executablePath;
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0) return std::nullopt;
    const std::string_view folder = path.substr(0, slash);
    const auto parentSlash = folder.rfind('/');
    const std::string_view last = folder.substr(parentSlash + 1), parent = folder.substr(0, parentSlash);
    if (last == "bin" || last == "sbin" || last == "libexec") return std::nullopt;
    for (const std::string_view shared : {"/lib", "/lib64", "/usr/lib", "/usr/lib64", "/usr/local/lib"})
        if (folder == shared) return std::nullopt;
    // Debian's multiarch library folder ("/usr/lib/x86_64-linux-gnu").
    if ((parent == "/usr/lib" || parent == "/lib") && contains(last, "-linux-")) return std::nullopt;
    return folder;
}

// `path` is a file of `folder`.
bool inFolder(const std::optional<std::string>& path, std::string_view folder) {
    return path && path->size() > folder.size() + 1 && path->starts_with(folder) && (*path)[folder.size()] == '/' &&
           path->find('/', folder.size() + 1) == std::string::npos;
}

std::string_view fileName(std::string_view path) { return path.substr(path.rfind('/') + 1); }

// The name with every helper suffix taken out, trimmed: what a helper's owner is named.
std::string nameBase(const std::string& lowerName) {
    std::string base = lowerName;
    for (auto suffix : helperSuffixes) {
        for (auto at = base.find(suffix); at != std::string::npos; at = base.find(suffix, at)) {
            base.erase(at, suffix.size());
        }
    }
    return utf8::trim(base);
}

// What grouping asks of one process that depends on nothing but the process itself.
struct Facts {
    // What the facts were worked out from.
    std::string name;
    std::optional<std::string> bundleID;
    bool isApp = false;

    std::string lowerName;
    std::string lowerBundle;  // empty when absent
    std::string base;         // the name without helper suffixes
    bool helperLike = false;
    bool isRoot = false;
    bool isTerminalApp = false;
    bool nameSaysSelf = false;  // the lower-cased name holds "velmora"
    bool webContent = false;    // a web-content process whose owner may be found by browser
    int family = -1;            // index into browserFamilies(), -1 none
    const CliTool* tool = nullptr;
    std::uint64_t seenInCall = 0;
    std::size_t entry = 0;  // the sample's last process with this pid, in the call `seenInCall`

    bool describes(const RawProcess& p) const { return p.isApp == isApp && p.name == name && p.bundleID == bundleID; }

    void learn(const RawProcess& p) {
        name = p.name;
        bundleID = p.bundleID;
        isApp = p.isApp;
        lowerName = utf8::lower(p.name);
        lowerBundle = p.bundleID ? utf8::lower(*p.bundleID) : std::string();
        base = nameBase(lowerName);
        helperLike = isHelperLike(lowerName, lowerBundle);
        isRoot = !helperLike && (p.bundleID.has_value() || p.isApp);
        isTerminalApp = isTerminal(p.bundleID);
        nameSaysSelf = contains(lowerName, "velmora");
        webContent = contains(lowerName, "web content") || contains(lowerName, "webkit") ||
                     contains(lowerName, "graphics and media");
        family = familyIndex(lowerName, lowerBundle);
        tool = p.bundleID ? nullptr : cliTool(lowerName);
    }
};

// One process of a sample with its facts.
struct Entry {
    const RawProcess* p = nullptr;
    const Facts* facts = nullptr;
};

// A group's place in this call's output, by grouping key. Keys stay from call to call, so an app
// seen before costs no allocation; a place from an earlier call counts as none.
struct GroupSlot {
    std::uint64_t call = 0;
    std::size_t index = 0;
};

// The browser installed in a folder, as the files there said when last asked.
struct InstalledBrowser {
    std::uint64_t call = 0;  // the last call that asked
    int family = -1;         // index into browserFamilies(), -1 none
};

}  // namespace

struct ProcessGrouper::Memo::State {
    std::unordered_map<std::int32_t, Facts> byPid;
    std::uint64_t calls = 0;

    // Working lists of one call, kept for their storage.
    std::deque<Facts> extra;
    std::vector<Entry> entries;
    std::vector<std::size_t> roots;
    std::vector<std::size_t> rootAncestorFrom;
    // By folder, the owner of a helper found there in this call.
    std::unordered_map<std::string_view, std::size_t> folderOwners;
    std::unordered_map<std::string, GroupSlot, TransparentHash, std::equal_to<>> groupIndex;
    // Asked of the files only for folders of helpers that nothing running owns; kept while asked.
    std::unordered_map<std::string, InstalledBrowser, TransparentHash, std::equal_to<>> installedBrowsers;
    // This call's groups in the order they were found (later slots are storage left from earlier
    // calls), and how many details each has so far: a group found at the same place as before
    // writes over its own strings.
    std::vector<ProcessGrouper::GroupedApp> groups;
    std::vector<std::size_t> detailCounts;
    std::vector<std::size_t> order;  // largest first
    std::string key;
};

ProcessGrouper::Memo::Memo() : state_(std::make_unique<State>()) {}
ProcessGrouper::Memo::~Memo() = default;
ProcessGrouper::Memo::Memo(Memo&&) noexcept = default;
ProcessGrouper::Memo& ProcessGrouper::Memo::operator=(Memo&&) noexcept = default;
std::size_t ProcessGrouper::Memo::size() const { return state_->byPid.size(); }

namespace {

class Grouping {
public:
    Grouping(const std::vector<RawProcess>& raw, bool includeSelf, const SelfProcess& self,
             ProcessGrouper::Memo::State& memo, const FileSystem* files)
        : includeSelf_(includeSelf), self_(self), files_(files), call_(++memo.calls), extra_(memo.extra),
          entries_(memo.entries), roots_(memo.roots), groupIndex_(memo.groupIndex), groups_(memo.groups),
          detailCounts_(memo.detailCounts), order_(memo.order), key_(memo.key),
          rootAncestorFrom_(memo.rootAncestorFrom), folderOwners_(memo.folderOwners),
          installedBrowsers_(memo.installedBrowsers) {
        const std::uint64_t call = call_;
        extra_.clear();
        entries_.clear();
        roots_.clear();
        rootAncestorFrom_.clear();
        folderOwners_.clear();
        detailCounts_.clear();
        entries_.reserve(raw.size());
        std::size_t pids = 0;  // distinct ones in this sample
        for (const auto& p : raw) {
            Facts& slot = memo.byPid[p.pid];
            if (slot.seenInCall != call) ++pids;
            Facts* facts = &slot;
            if (slot.seenInCall == call && !slot.describes(p)) {
                // The same pid twice in one sample, as another process: facts of its own.
                facts = &extra_.emplace_back();
                facts->learn(p);
            } else if (slot.seenInCall == 0 || !slot.describes(p)) {
                slot.learn(p);
            }
            slot.seenInCall = call;
            slot.entry = entries_.size();  // a later duplicate wins
            entries_.push_back(Entry{&p, facts});
        }
        // Only when some process is gone: a walk over every kept fact costs as much as the sample.
        if (memo.byPid.size() != pids)
            std::erase_if(memo.byPid, [call](const auto& slot) { return slot.second.seenInCall != call; });
        byPid_ = &memo.byPid;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].facts->isRoot) roots_.push_back(i);
        }
    }

    // The groups, largest first, written over `out` (copied, so that every string keeps fitting
    // the same group's next time).
    void run(std::vector<ProcessGrouper::GroupedApp>& out) {
        for (std::size_t i = 0; i < entries_.size(); ++i) add(i);
        const std::size_t count = detailCounts_.size();
        // Groups and details beyond this call's are left over from earlier calls.
        for (std::size_t g = 0; g < count; ++g) {
            auto& details = groups_[g].processDetails;
            details.erase(details.begin() + static_cast<std::ptrdiff_t>(detailCounts_[g]), details.end());
        }
        order_.resize(count);
        for (std::size_t g = 0; g < count; ++g) order_[g] = g;
        // Ties keep the order the groups were found in.
        std::sort(order_.begin(), order_.end(), [this](std::size_t a, std::size_t b) {
            const std::uint64_t x = groups_[a].footprintBytes, y = groups_[b].footprintBytes;
            return x != y ? x > y : a < b;
        });
        out.resize(count);
        for (std::size_t k = 0; k < count; ++k) out[k] = groups_[order_[k]];
        // Keys of apps gone long since are dropped once they outnumber the live ones.
        if (groupIndex_.size() > 2 * count + 64)
            std::erase_if(groupIndex_, [this](const auto& slot) { return slot.second.call != call_; });
        // A folder no helper was found in this time is asked again if one turns up there.
        if (!installedBrowsers_.empty())
            std::erase_if(installedBrowsers_, [this](const auto& slot) { return slot.second.call != call_; });
        folderOwners_.clear();  // its keys point into this sample
    }

private:
    // Walks at most 16 ancestors of entry i, stopping at a missing parent or a process that is its
    // own parent; returns the first ancestor for which `test` holds.
    template <class Test>
    std::optional<std::size_t> findAncestor(std::size_t i, Test test) const {
        std::int32_t from = entries_[i].p->pid;
        std::int32_t parent = entries_[i].p->parentPID;
        for (int step = 0; step < parentWalkLimit; ++step) {
            const auto it = byPid_->find(parent);
            if (it == byPid_->end()) return std::nullopt;
            const std::size_t index = it->second.entry;
            const Entry& a = entries_[index];
            if (a.p->pid == from) return std::nullopt;
            if (test(a)) return index;
            from = a.p->pid;
            parent = a.p->parentPID;
        }
        return std::nullopt;
    }

    bool hasTerminalAncestor(std::size_t i) const {
        return findAncestor(i, [](const Entry& a) { return a.facts->isTerminalApp; }).has_value();
    }

    std::optional<std::size_t> ownerByName(const Facts& f) const {
        for (std::size_t r : roots_) {
            const std::string& candidate = entries_[r].facts->lowerName;
            // An empty name is a prefix of every name and would swallow every helper.
            if (candidate.empty()) continue;
            if (candidate == f.base || f.lowerName.starts_with(candidate)) return r;
        }
        if (!f.webContent) return std::nullopt;
        for (std::size_t r : roots_) {
            const Entry& c = entries_[r];
            if ((c.p->bundleID && contains(*c.p->bundleID, "Safari")) || c.facts->lowerName == "safari") return r;
        }
        for (std::size_t r : roots_) {
            const Facts& c = *entries_[r].facts;
            if (contains(c.lowerBundle, "chrome") || contains(c.lowerName, "chrome")) return r;
        }
        for (std::size_t r : roots_) {
            if (containsWholeWord(entries_[r].facts->lowerName, "dia")) return r;
        }
        return std::nullopt;
    }

    std::size_t rootOwner(std::size_t i) {
        if (entries_[i].facts->isRoot) return i;
        if (auto a = rootAncestor(i)) return *a;
        if (auto f = ownerInFolder(i)) return *f;
        if (auto n = ownerByName(*entries_[i].facts)) return *n;
        return i;
    }

    // A helper that no parent ties to its app (a crash handler forks twice and is left to init)
    // is the app's whose browser or application runs from the same folder.
    std::optional<std::size_t> ownerInFolder(std::size_t i) {
        if (!entries_[i].facts->helperLike) return std::nullopt;
        const auto folder = ownFolder(entries_[i].p->executablePath);
        if (!folder) return std::nullopt;
        if (const auto known = folderOwners_.find(*folder); known != folderOwners_.end())
            return known->second == noAncestor ? std::nullopt : std::optional(known->second);
        // An application there, else a browser's process: one grouped as a tool is neither.
        const auto there = [&](const Entry& e) {
            return inFolder(e.p->executablePath, *folder) && (e.p->bundleID || !e.facts->tool);
        };
        std::optional<std::size_t> mate;
        for (std::size_t r : roots_)
            if (there(entries_[r])) {
                mate = r;
                break;
            }
        for (std::size_t j = 0; !mate && j < entries_.size(); ++j) {
            const Entry& e = entries_[j];
            if (j != i && there(e) &&
                (e.facts->family >= 0 || browserProgram(*folder, fileName(*e.p->executablePath))))
                mate = j;
        }
        std::optional<std::size_t> owner;
        if (mate) {
            // Owned as the browser's own processes are, but never through a folder again.
            if (entries_[*mate].facts->isRoot) owner = *mate;
            else if (auto a = rootAncestor(*mate)) owner = *a;
            else if (auto n = ownerByName(*entries_[*mate].facts)) owner = *n;
            else owner = *mate;
        }
        folderOwners_.emplace(*folder, owner.value_or(noAncestor));
        return owner;
    }

    // The browser installed beside a helper that nothing running owns, as the files there say.
    const BrowserFamily* installedBeside(std::size_t i) {
        if (!files_ || !entries_[i].facts->helperLike || entries_[i].p->bundleID) return nullptr;
        const auto folder = ownFolder(entries_[i].p->executablePath);
        if (!folder) return nullptr;
        auto slot = installedBrowsers_.find(*folder);
        if (slot == installedBrowsers_.end()) {
            slot = installedBrowsers_.emplace(std::string(*folder), InstalledBrowser{}).first;
            std::string path;
            for (const auto& family : browserFamilies()) {
                for (const auto program : family.programs) {
                    path.assign(*folder).append("/").append(program);
                    if (!files_->exists(path)) continue;
                    const BrowserFamily* found = browserProgram(*folder, program);
                    slot->second.family = static_cast<int>(found - browserFamilies().data());
                    break;
                }
                if (slot->second.family >= 0) break;
            }
        }
        slot->second.call = call_;
        const int f = slot->second.family;
        return f < 0 ? nullptr : &browserFamilies()[static_cast<std::size_t>(f)];
    }

    // findAncestor for a root. After its first step the walk depends only on the parent, so
    // siblings (a desktop's hundreds of children of one shell or service manager) share it.
    std::optional<std::size_t> rootAncestor(std::size_t i) {
        const auto isRoot = [](const Entry& e) { return e.facts->isRoot; };
        const auto parent = byPid_->find(entries_[i].p->parentPID);
        if (parent == byPid_->end()) return std::nullopt;
        const std::size_t start = parent->second.entry;
        if (entries_[start].p->pid == entries_[i].p->pid) return findAncestor(i, isRoot);
        if (rootAncestorFrom_.empty()) rootAncestorFrom_.assign(entries_.size(), unknownAncestor);
        std::size_t& known = rootAncestorFrom_[start];
        if (known == unknownAncestor) known = findAncestor(i, isRoot).value_or(noAncestor);
        return known == noAncestor ? std::nullopt : std::optional(known);
    }

    const BrowserFamily* family(std::size_t i) const {
        const int f = entries_[i].facts->family;
        return f < 0 ? nullptr : &browserFamilies()[static_cast<std::size_t>(f)];
    }

    void add(std::size_t i) {
        const Entry& e = entries_[i];
        const RawProcess& p = *e.p;
        const bool processIsSelf =
            p.pid == self_.pid || (self_.bundleID && p.bundleID == self_.bundleID) || e.facts->nameSaysSelf;

        bool isSelf = processIsSelf;
        bool foreground = p.isActive;
        const CliTool* tool = nullptr;
        const BrowserFamily* fam = nullptr;
        const BrowserFamily* installed = nullptr;
        std::size_t owner = i;

        key_.clear();
        if (!p.bundleID && !processIsSelf && (tool = e.facts->tool)) {
            key_.append("cli:").append(tool->name);
        } else {
            owner = rootOwner(i);
            fam = family(owner);
            const RawProcess& o = *entries_[owner].p;
            // Owned by nothing running, a helper is named after the browser installed beside it.
            if (!fam && owner == i && (installed = installedBeside(i)) && installed->grouped) fam = installed;
            if (fam) key_.append("family:").append(fam->word);
            else if (installed) key_.append("name:").append(installed->displayName);
            else if (o.bundleID) key_.append(*o.bundleID);
            else key_.append("name:").append(o.name);
            foreground = foreground || o.isActive;
            // A process charged to this application is part of it, also when the owner was
            // recognised only by its pid.
            isSelf = isSelf || o.pid == self_.pid || (self_.bundleID && o.bundleID == self_.bundleID) ||
                     (!fam && entries_[owner].facts->nameSaysSelf);
        }
        if (isSelf && !includeSelf_) return;

        const std::uint64_t compressed = p.compressedBytes.value_or(0);

        auto slot = groupIndex_.find(std::string_view(key_));
        if (slot != groupIndex_.end() && slot->second.call == call_) {
            const std::size_t index = slot->second.index;
            auto& g = groups_[index];
            auto& pids = g.identity.pids;
            pids.insert(std::upper_bound(pids.begin(), pids.end(), p.pid), p.pid);
            g.identity.isSelf = g.identity.isSelf || isSelf;
            g.footprintBytes = saturatingAdd(g.footprintBytes, p.footprintBytes);
            g.compressedBytes = saturatingAdd(g.compressedBytes, compressed);
            g.isForeground = g.isForeground || foreground;
            writeDetail(index, p);
            return;
        }

        const std::size_t index = detailCounts_.size();
        if (slot == groupIndex_.end()) slot = groupIndex_.emplace(key_, GroupSlot{}).first;
        slot->second = GroupSlot{call_, index};
        if (index == groups_.size()) groups_.emplace_back();
        detailCounts_.push_back(0);
        auto& g = groups_[index];
        ProcessIdentity& identity = g.identity;
        identity.groupingKey.assign(key_);
        if (tool) {
            identity.bundleID.reset();
            identity.displayName.assign(tool->displayName);
            if (hasTerminalAncestor(i)) identity.displayName += " (Terminal)";
        } else {
            const RawProcess& o = *entries_[owner].p;
            identity.bundleID = o.bundleID;
            if (fam) identity.displayName.assign(fam->displayName);
            else if (installed) identity.displayName.assign(installed->displayName);
            else identity.displayName.assign(o.name);
        }
        identity.pids.assign(1, p.pid);
        identity.isSelf = isSelf;
        g.footprintBytes = p.footprintBytes;
        g.compressedBytes = compressed;
        g.isForeground = foreground;
        writeDetail(index, p);
    }

    // The next detail of group `index`, over one left from an earlier call where there is one.
    void writeDetail(std::size_t index, const RawProcess& p) {
        auto& details = groups_[index].processDetails;
        std::size_t& count = detailCounts_[index];
        if (count == details.size()) details.emplace_back();
        ProcessDetail& d = details[count++];
        d.pid = p.pid;
        d.name.assign(p.name);
        d.footprintBytes = p.footprintBytes;
        d.parentPID = p.parentPID != 0 ? std::optional(p.parentPID) : std::nullopt;
    }

    bool includeSelf_;
    const SelfProcess& self_;
    const FileSystem* files_;
    std::uint64_t call_;
    std::deque<Facts>& extra_;
    std::vector<Entry>& entries_;
    const std::unordered_map<std::int32_t, Facts>* byPid_ = nullptr;  // every pid of this sample
    std::vector<std::size_t>& roots_;
    std::unordered_map<std::string, GroupSlot, TransparentHash, std::equal_to<>>& groupIndex_;
    std::vector<ProcessGrouper::GroupedApp>& groups_;
    std::vector<std::size_t>& detailCounts_;
    std::vector<std::size_t>& order_;
    std::string& key_;
    // By the parent's entry: the root a walk starting there finds.
    static constexpr std::size_t unknownAncestor = static_cast<std::size_t>(-1);
    static constexpr std::size_t noAncestor = static_cast<std::size_t>(-2);
    std::vector<std::size_t>& rootAncestorFrom_;
    std::unordered_map<std::string_view, std::size_t>& folderOwners_;
    std::unordered_map<std::string, InstalledBrowser, TransparentHash, std::equal_to<>>& installedBrowsers_;
};

}  // namespace

std::vector<ProcessGrouper::GroupedApp> ProcessGrouper::group(const std::vector<RawProcess>& raw, bool includeSelf,
                                                             const SelfProcess& self, Memo* memo,
                                                             const FileSystem* files) {
    std::vector<GroupedApp> out;
    if (memo) {
        group(raw, includeSelf, self, *memo, out, files);
    } else {
        Memo once;
        group(raw, includeSelf, self, once, out, files);
    }
    return out;
}

void ProcessGrouper::group(const std::vector<RawProcess>& raw, bool includeSelf, const SelfProcess& self, Memo& memo,
                           std::vector<GroupedApp>& out, const FileSystem* files) {
    Grouping(raw, includeSelf, self, *memo.state_, files).run(out);
}

}  // namespace velmora
