#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/sampling/ProcessEnumerator.h"
#include "engine/sampling/ProcessIdentity.h"

namespace velmora {

class FileSystem;

// This application's own process id and desktop-entry id, passed in by whoever builds the engine.
struct SelfProcess {
    std::int32_t pid = 0;
    std::optional<std::string> bundleID;
    bool operator==(const SelfProcess&) const = default;
};

// Turns one sample's processes into apps: helpers are charged to the application that owns them,
// browser processes gather into one family, known command-line tools get their own groups.
struct ProcessGrouper {
    struct GroupedApp {
        ProcessIdentity identity;
        std::uint64_t footprintBytes = 0;
        std::uint64_t compressedBytes = 0;
        bool isForeground = false;
        std::vector<ProcessDetail> processDetails;  // enumeration order
        bool operator==(const GroupedApp&) const = default;
    };

    // What grouping learns of each process by itself (its lower-cased names, whether it is a helper
    // or an owning application, its browser family, its tool row), kept from one sample to the next
    // so that it is not worked out again every second. A process's facts are used again only while
    // its name, bundle identifier and app flag are those they were worked out from; the facts of
    // processes missing from a sample are dropped. How processes relate (parents, folders, owners
    // by name) is worked out afresh on every call, in working lists the memo keeps. Which browser
    // the files of a folder say is installed there is kept while a helper there needs it.
    class Memo {
    public:
        Memo();
        ~Memo();
        Memo(Memo&&) noexcept;
        Memo& operator=(Memo&&) noexcept;
        // Processes whose facts are kept.
        std::size_t size() const;

        struct State;  // opaque

    private:
        friend struct ProcessGrouper;
        std::unique_ptr<State> state_;
    };

    // Largest footprint first. With `includeSelf` false, this application's processes and every
    // process charged to it are left out. The same result with or without a memo.
    // A browser's helper that no parent ties to it (a crash handler reparented to init) joins the
    // browser or application running from its folder; with none running, it is named after the
    // browser `files` finds installed there (none looked for without `files`), else by itself.
    static std::vector<GroupedApp> group(const std::vector<RawProcess>& raw, bool includeSelf, const SelfProcess& self,
                                         Memo* memo = nullptr, const FileSystem* files = nullptr);
    // The same apps written over `out`, whose strings and lists are reused, as are the memo's
    // working lists: a sampler that keeps both allocates next to nothing once its apps are known.
    static void group(const std::vector<RawProcess>& raw, bool includeSelf, const SelfProcess& self, Memo& memo,
                      std::vector<GroupedApp>& out, const FileSystem* files = nullptr);
};

}  // namespace velmora
