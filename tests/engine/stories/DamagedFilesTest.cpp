#include <gtest/gtest.h>

#include <set>

#include "engine/stories/DailyStat.h"
#include "engine/stories/TimelineEvent.h"
#include "engine/support/StoredArrayFile.h"

using namespace velmora;

namespace {

TimelineEvent story(const char* title) {
    return {.id = Uuid::random(), .title = title, .relatedApp = ProcessIdentity{"k", "b", "Chrome {x}", {7, 8}, false},
            .immediate = ImpactWindow{-5, 8, 9, 10}, .linkedActivityIDs = {Uuid::random()}};
}

// Every byte of the file replaced in turn by each of `replacements`: each record that does not hold
// the byte must still be read. Returns the first few misses.
template <class T, class Key>
std::vector<std::string> missesAfterSingleFlips(const std::vector<T>& records, Key key) {
    std::string text = "[";
    std::vector<std::pair<std::size_t, std::size_t>> spans;  // where each record lies
    for (const auto& r : records) {
        if (text.size() > 1) text += ',';
        const std::string one = encode<OrderedJson>(r).dump();
        spans.emplace_back(text.size(), text.size() + one.size());
        text += one;
    }
    text += ']';
    std::vector<std::string> misses;
    for (std::size_t at = 0; at < text.size() && misses.size() < 5; ++at) {
        for (char replacement : {'"', '{', '}', ']', ',', '\\', 'x'}) {
            if (text[at] == replacement) continue;
            std::string damaged = text;
            damaged[at] = replacement;
            std::set<std::string> read;
            bool wasDamaged = false;
            StoredArrayFile::scanArray(damaged, wasDamaged, [&](Json&& element) {
                try {
                    read.insert(key(decode<T>(element)));
                } catch (const std::exception&) {
                }
                return true;
            });
            for (std::size_t i = 0; i < records.size(); ++i)
                if ((at < spans[i].first || at >= spans[i].second) && !read.contains(key(records[i])))
                    misses.push_back("record " + std::to_string(i) + " lost to '" + replacement + "' at " + std::to_string(at));
        }
    }
    return misses;
}

TEST(DamagedFilesTest, ASingleDamagedByteCostsOnlyTheRecordItTouches) {
    // Titles hold what a record boundary looks like, so a scan thrown into a string meets it.
    const std::vector<TimelineEvent> stories{story("a},{\"id\":\"x"), story("[{\"b\\"), story("}]")};
    EXPECT_EQ(missesAfterSingleFlips(stories, [](const TimelineEvent& e) { return e.id.toString(); }), std::vector<std::string>{});

    const std::vector<DailyStat> days{{"2026-06-14", 1, 2, 3, {{"a", "A},{", 1, 2, 3}, {"b", "B", 4, 5, 6}}},
                                      {"2026-06-15", 7, 0, 0, {}},
                                      {"2026-06-16", 8, 9, 10, {{"c", "\"C\"", 1, 1, 1}}}};
    EXPECT_EQ(missesAfterSingleFlips(days, [](const DailyStat& d) { return d.dateKey; }), std::vector<std::string>{});
}

}  // namespace
