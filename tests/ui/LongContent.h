#pragma once
// An application state over the longest content a user meets: app names of 120 characters (as a
// window class or a desktop entry may give them) in front, among the movers and in the daily
// offenders, changes of −1,023.9 MB and +99.99 GB, memory getting tight and almost gone, a story with
// five badges, the longest verdict and a spike line, all about that app, another story marked at
// "now", and the extension banner over the stories. Its names come in three kinds: words, with a
// file name of underscores in the window title and the story; one word each, with a page address
// of 200 characters and no break point; right to left.
#include <string>

#include "tests/app/AppHarness.h"
#include "ui/widget/FloatingWidgetPreferences.h"

// After the engine's headers: Qt's keyword macros would rename their members.
#include <QApplication>
#include <QWidget>

namespace velmora {

// Words with descenders (g, p, y), so a line cut at its foot shows.
inline const std::string longNameStart =
    "Extraordinarily Long Application Name Seen On Linux Desktops Through Its Window Class And Desktop Entry";
inline const std::string longAppName = longNameStart + " Typography Pages";
// One word no line holds: the file name a window title carries, a page address, an app name.
inline const std::string longFileName = "annual_budget_forecast_2027_final_v3_reviewed.xlsx";
inline const std::string longAddress = [] {
    std::string a = "https://reports.example.org/quarterly/2027/appendix?sheet=forecast_annual_budget_reviewed&id=";
    while (a.size() < 200) a += "7f3a9c2e41b8";
    return a.substr(0, 200);
}();

// The names and titles the content is about.
struct LongNames {
    std::string kind;                      // for failure messages and pictures
    std::string front, soaring, falling;   // the front app and the two movers
    std::string offenders;                 // the nine daily offenders' names start so
    std::string title;                     // the front window's title, as the window list reports it
    std::string doing;                     // what the story says the user was doing

    static LongNames words() {
        return {"words", longAppName, longNameStart + " Soaring Graphing", longNameStart + " Falling Playlist",
                longNameStart + " Yearly Reports ", longFileName + " \u2014 " + longAppName,
                "You were editing " + longFileName};
    }
    // 120 characters in one word.
    static LongNames oneWord() {
        const std::string start =
            "ExtraordinarilyLongApplicationNameSeenOnLinuxDesktopsThroughItsWindowClassAndDesktopEntryTypingPlayground";
        return {"one word", start + "TypographyPages", start + "SoaringGraphing", start + "FallingPlaylist",
                start + "YearlyReports", longAddress, "You opened " + longAddress};
    }
    // Hebrew, as a desktop entry in a right-to-left language names an app ("Office documents and
    // archive system").
    static LongNames rightToLeft() {
        const std::string start = "\u05DE\u05E2\u05E8\u05DB\u05EA \u05D4\u05DE\u05E1\u05DE\u05DB\u05D9\u05DD "
                                  "\u05D5\u05D4\u05D0\u05E8\u05DB\u05D9\u05D5\u05DF \u05E9\u05DC \u05D4\u05DE\u05E9\u05E8\u05D3 ";
        return {"right to left", start + "\u05D4\u05E8\u05D0\u05E9\u05D9\u05EA", start + "\u05DC\u05D2\u05E8\u05E4\u05D9\u05DD",
                start + "\u05DC\u05DE\u05D5\u05D6\u05D9\u05E7\u05D4", start + "\u05D3\u05D5\u05D7 ",
                "\u05D3\u05D5\u05D7 \u05E8\u05D1\u05E2\u05D5\u05E0\u05D9.odt \u2014 " + start + "\u05D4\u05E8\u05D0\u05E9\u05D9\u05EA",
                "You were editing " + longFileName};
    }
};

struct LongContent : AppHarness {
    static constexpr std::uint64_t GiB = 1024 * MiB;
    // 1,023.9 MB (the widest figure below a gigabyte) and 99.99 GB, as the byte formatter writes them.
    static constexpr std::int64_t fall = -1'073'658'880;
    static constexpr std::int64_t rise = 107'363'582'935;

    LongNames names;
    const std::string& frontName = names.front;

    explicit LongContent(LongNames kind = LongNames::words()) : names(std::move(kind)) {
        make();
        state->settings->setDeveloperModeEnabled(true);
        // Ten minutes level, then the last second moves the two movers: the five-minute badges
        // read exactly the two widest changes.
        for (int t = 0; t <= 600; ++t) tick(t == 600);
        const Date now = clock.now();
        addStory(now - 60);
        // Browser stories the window title could not pin to a tab, and no extension yet: the banner.
        state->lowConfidenceBrowserStoryCount = 1;
        state->sensorLastApp = frontName;
        state->sensorLastTitle = names.title;
        // The window's title in the Developer feed, and a window Quit could close.
        state->sensorLog.insert(state->sensorLog.begin(), SensorLogEntry{Uuid::random(), now, SensorSource::windowList,
                                                                         "titleChanged: " + names.title, frontName, names.title});
        terminator.running.insert(100);
        for (int day = 0; day < 90; ++day)
            state->dailyStats->recordStory("key.long" + std::to_string(day % 9), offenderName(day % 9),
                                           rise, now - day * 86400.0);
        for (int t = 0; t < 600; ++t) state->dailyStats->recordPressureTick(MemoryPressureLevel::critical, now);
    }

    // One of nine daily offenders, `n` from 0 to 8.
    std::string offenderName(int n) const { return names.offenders + std::to_string(n); }

    void tick(bool moved) {
        clock.advance(1);
        steady.now += 1;
        processes.processes.clear();
        desktop.apps.clear();
        addApp(100, "longapp", frontName, 999 * MiB + 943 * 1024, true);  // 999.9 MB
        addApp(101, "soaring", names.soaring, 500 * MiB + (moved ? rise : 0), false);
        addApp(102, "falling", names.falling, 1100 * MiB + (moved ? 0 : static_cast<std::uint64_t>(-fall)), false);
        addApp(103, "firefox", "Firefox", 1800 * MiB, false);
        // 999.9 MB free of 99.99 GB: under 5 % free, with 99.99 GB written to disk.
        memory.reading = {100 * GiB - 10 * MiB, 999 * MiB + 943 * 1024, 0, 100 * GiB - 10 * MiB,
                          MemoryPressureLevel::warning};
        state->sampler->tick();
    }

    void addStory(Date when) {
        TimelineEvent e;
        e.id = Uuid::random();
        e.timestamp = when;
        e.kind = TimelineEventKind::largeDelta;
        e.title = names.title;
        e.explanation = names.doing + " in " + frontName;
        // The sampled app itself, so the widget marks the story on its trend.
        for (const auto& app : state->sampler->appSnapshots())
            if (app.identity.displayName == frontName) e.relatedApp = app.identity;
        e.baselineFootprintBytes = GiB;
        e.immediate = ImpactWindow{rise, 10, GiB + static_cast<std::uint64_t>(rise) + 2 * GiB, {}};
        e.settled = ImpactWindow{rise, 60, {}, GiB + static_cast<std::uint64_t>(rise)};
        SystemMemorySnapshot context;
        context.totalPhysicalBytes = 100 * GiB;
        context.availableBytes = 999 * MiB;
        context.pressure = MemoryPressureLevel::critical;
        e.systemContext = context;
        e.primarySource = SensorSource::systemPressure;
        e.supportingSources = {SensorSource::browserSession, SensorSource::screenshotOCR, SensorSource::accessibility,
                               SensorSource::cloudVision, SensorSource::windowList};
        state->timeline->add(e);
        TimelineEvent released = e;
        released.id = Uuid::random();
        // At the chart's right edge: its dot must show whole there.
        released.timestamp = clock.now();
        released.kind = TimelineEventKind::memoryReleased;
        released.title = frontName + " freed memory";
        released.immediate.reset();
        released.settled = ImpactWindow{fall, 60, {}, GiB};
        state->timeline->add(released);
        state->selectedEventID = e.id;
    }

    // The widget at `placement`, with the computer's memory line and a dock that stays open.
    void preferWidget(WidgetPlacement placement, bool compact) {
        FloatingWidgetPreferences prefs;
        prefs.placement = placement;
        prefs.isCompact = compact;
        prefs.showSystemMemory = true;
        prefs.autoCollapseDock = false;
        prefs.save(defaults);
    }

    // The widget's panel while it shows, else null.
    static QWidget* shownWidgetPanel() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "VelmoraFloatingWidget" && w->isVisible()) return w;
        return nullptr;
    }
};

}  // namespace velmora
