#include "engine/stories/StoryText.h"

#include <array>

#include "engine/stories/Phrasing.h"
#include "engine/support/QuietKind.h"
#include "engine/support/Text.h"
#include "engine/support/Utf8.h"

namespace velmora {

namespace {

constexpr std::array<std::string_view, 21> kBoilerplateMarkers{
    "that stuck",
    "effect on your computer",
    "used more memory",
    "freed memory",
    "gradual growth",
    "while the browser was open",
    "grew by",
    "shrank by",
    "still looked fine",
    "we don\u2019t know",
    "we don't know",
    "we saw you use",
    "not exactly which",
    "grew while this app was running",
    "memory came free from this app",
    "long steady growth can mean",
    "worth a look",
    // The attribution's framing lines around its factors: they say nothing about what happened.
    "what you were doing around then",
    "these lined up in time",
    "memory came free \u2014 often",
    // The rewording's own line for a change undone: a later change merged into the story must
    // not take it for what the user did.
    "no lasting change measured",
};

constexpr std::array<std::string_view, 6> kVerdictPrefixes{"helps", "small hit", "tiny", "worth watching", "hurts",
                                                           "adds stress"};
constexpr std::array<std::string_view, 2> kStatusMarkers{"memory pressure", "status changed"};

constexpr std::string_view kMiddleDot = "\u00b7";

std::string_view trimSpacesAndTabs(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string pressureWord(MemoryPressureLevel level) {
    switch (level) {
        case MemoryPressureLevel::normal: return "ok";
        case MemoryPressureLevel::warning: return "tight";
        case MemoryPressureLevel::critical: return "critical";
    }
    return "ok";
}

}  // namespace

bool isSystemStory(const TimelineEvent& story) {
    return story.kind == TimelineEventKind::pressureChanged || story.kind == TimelineEventKind::swapSpike;
}

const ImpactWindow* firstPresentWindow(const TimelineEvent& story) {
    for (const auto* w : {&story.settled, &story.immediate, &story.longerTerm})
        if (*w) return &**w;
    return nullptr;
}

std::int64_t storyDelta(const TimelineEvent& story) {
    const auto* w = firstPresentWindow(story);
    return w ? w->deltaBytes : 0;
}

std::optional<std::uint64_t> firstEndFootprint(const TimelineEvent& story) {
    for (const auto* w : {&story.settled, &story.immediate, &story.longerTerm})
        if (*w && (*w)->endFootprintBytes) return (*w)->endFootprintBytes;
    return std::nullopt;
}

ImpactVerdict impactVerdict(std::int64_t delta, const std::optional<SystemMemorySnapshot>& system) {
    const MemoryPressureLevel pressure = system ? system->pressure : MemoryPressureLevel::normal;
    const std::uint64_t available = system ? system->availableBytes : 0;
    if (delta < 0) return {0, "Helps", "Memory came free."};
    if (pressure == MemoryPressureLevel::critical)
        return {5, "Hurts now", "Computer is low on memory \u2014 this can make it feel slow."};
    if (pressure == MemoryPressureLevel::warning) return {4, "Adds stress", "Memory was already tight."};
    if (available > 0 && static_cast<double>(delta) / static_cast<double>(available) > 0.15)
        return {3, "Worth watching", "Big bite of free memory."};
    if (delta >= 524'288'000) return {3, "Worth watching", "Half a gig or more."};
    if (delta < 157'286'400) return {1, "Tiny", "You probably won\u2019t feel this."};
    return {2, "Small hit", "Computer still has plenty free."};
}

std::optional<std::string> storyPhraseFilter(std::string_view line) {
    std::string text(line);
    // What is left after removing "You opened "/"You watched " is checked again from the top, so
    // the result filters to itself: "You opened Tiny Tower" must not give a phrase that the next
    // rewording refuses as a verdict line.
    while (true) {
        // Trimmed again after "**" goes, so that "** Tiny" is seen as the verdict line it shows as.
        text = utf8::trim(removeAll(utf8::trim(text), "**"));
        const std::string lowered = utf8::lower(text);
        for (auto marker : kBoilerplateMarkers)
            if (contains(lowered, marker)) return std::nullopt;
        for (auto prefix : kVerdictPrefixes)
            if (lowered.starts_with(prefix)) return std::nullopt;
        for (auto marker : kStatusMarkers)
            if (contains(lowered, marker)) return std::nullopt;
        if (contains(text, "MB") || contains(text, "GB")) return std::nullopt;
        if (utf8::characterCount(text) < 2) return std::nullopt;
        std::string stripped = removeAll(removeAll(text, "You opened "), "You watched ");
        if (stripped == text) break;
        text = std::move(stripped);
    }
    const std::size_t count = utf8::characterCount(text);
    if (count < 53) return text;
    return utf8::prefixCharacters(text, 49) + "\u2026";
}

std::optional<std::string> storyDisplayHeadline(std::string_view text, const std::vector<ActivityEvent>& events) {
    for (const auto& event : events)
        if (!isQuietKind(event.kind)) return storyPhraseFilter(userActionSentence(event));

    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = trimSpacesAndTabs(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty()) continue;
        if (line.starts_with("\u2022")) line = trimSpacesAndTabs(line.substr(std::string_view("\u2022").size()));
        if (auto phrase = storyPhraseFilter(line)) return phrase;
    }
    return std::nullopt;
}

std::optional<std::string> storyPhraseFromEvent(const TimelineEvent& story) {
    if (auto phrase = storyDisplayHeadline(story.explanation, {})) return phrase;
    if (!contains(story.title, std::string(" ") + std::string(kMiddleDot) + " ")) return std::nullopt;
    std::string_view title = story.title;
    std::string_view last;
    for (std::size_t pos = 0; pos <= title.size();) {
        std::size_t end = title.find(kMiddleDot, pos);
        if (end == std::string_view::npos) end = title.size();
        if (end > pos) last = title.substr(pos, end - pos);
        pos = end + kMiddleDot.size();
    }
    return storyPhraseFilter(trimSpacesAndTabs(last));
}

std::string storyShortTitle(std::string_view name, std::int64_t delta, const std::optional<std::string>& phrase) {
    const std::string app = friendlyAppName(name);
    if (phrase) {
        const auto filtered = storyPhraseFilter(*phrase);
        if (filtered && !filtered->empty() && delta >= 1 && utf8::characterCount(*filtered) < 56)
            return app + " " + std::string(kMiddleDot) + " " + *filtered;
    }
    return app + (delta < 0 ? " freed memory" : " used more memory");
}

TimelineEvent rewriteStoryText(const TimelineEvent& story) {
    // What a look at the screen added to a story ("On screen around then: …") outlives its rewording.
    if (const auto note = story.explanation.find("On screen around then: "); note != std::string::npos) {
        TimelineEvent bare = story;
        bare.explanation.erase(bare.explanation.find_last_not_of(' ', note == 0 ? 0 : note - 1) + (note == 0 ? 0 : 1));
        TimelineEvent out = rewriteStoryText(bare);
        out.explanation += (out.explanation.empty() ? "" : " ") + story.explanation.substr(note);
        return out;
    }
    TimelineEvent out = story;
    switch (story.kind) {
        case TimelineEventKind::sustainedGrowth:
        case TimelineEventKind::measureSession:
            return out;
        case TimelineEventKind::pressureChanged:
            out.title = "Computer memory is " + (story.systemContext ? pressureWord(story.systemContext->pressure) : "changed");
            out.explanation = "Overall memory pressure changed.\nThis is about the whole computer, not one app.";
            out.relatedApp.reset();
            out.immediate.reset();
            out.settled.reset();
            out.isPendingWindows = false;
            return out;
        case TimelineEventKind::swapSpike:
            out.title = "Computer started using disk for memory";
            out.explanation = "When free RAM is tight, the computer uses disk. That often feels slow.";
            out.relatedApp.reset();
            out.immediate.reset();
            out.settled.reset();
            out.isPendingWindows = false;
            return out;
        default:
            break;
    }

    const std::optional<ImpactWindow>& window =
        story.settled ? story.settled : (story.immediate ? story.immediate : story.longerTerm);
    if (!window) return out;  // keeps its first wording until a measurement lands
    const std::int64_t delta = window->deltaBytes;
    if (delta == 0) {
        out.title = story.relatedApp ? friendlyAppName(story.relatedApp->displayName) : "Memory change";
        out.explanation = "No lasting change measured.";
        return out;
    }
    const std::string name = story.relatedApp ? story.relatedApp->displayName : "An app";
    const auto phrase = storyPhraseFromEvent(story);
    out.title = storyShortTitle(name, delta, phrase);
    std::string firstLine = phrase ? *phrase
                                   : (delta < 0 ? std::string("Memory came free from this app.")
                                                : std::string("Grew while this app was running."));
    const ImpactVerdict verdict = impactVerdict(delta, story.systemContext);
    out.explanation = firstLine + "\n" + verdict.label + ": " + verdict.reason;
    return out;
}

}  // namespace velmora
