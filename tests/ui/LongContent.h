#pragma once
// An application state over the longest content a user meets: app names of 120 characters (as a
// window class or a desktop entry may give them) in front, among the movers and in the daily
// offenders, changes of −1,023.9 MB and +99.99 GB, memory getting tight and almost gone, a story with
// five badges, the longest verdict and a spike line, all about that app, another story marked at
// "now", and the extension banner over the stories. Its names come in three kinds: words, with a
// file name of underscores in the window title and the story; one word each, with a page address
// of 200 characters and no break point; right to left; Arabic with emoji.
#include <array>
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
inline const std::string longAddress =
    ("https://reports.example.org/quarterly/2027/appendix?sheet=forecast_annual_budget_reviewed&id=" +
     std::string(106, 'f')).substr(0, 200);

// The names the content is about: an app's is `start` and one of `ends` (the front app, the two
// movers, the daily offenders), the front window's title, and what the user did.
struct LongNames {
    std::string kind, start;
    std::array<std::string, 4> ends;
    std::string title, doing;
    static LongNames words() {
        return {"words", longNameStart, {" Typography Pages", " Soaring Graphing", " Falling Playlist", " Yearly Reports "},
                longFileName + " \u2014 " + longAppName, "You were editing " + longFileName};
    }
    // 120 characters in one word, and a page address.
    static LongNames oneWord() {
        return {"one word", "ExtraordinarilyLongApplicationNameSeenOnLinuxDesktopsThroughItsWindowClassAndDesktopEntryTypingPlayground",
                {"TypographyPages", "SoaringGraphing", "FallingPlaylist", "YearlyReports"}, longAddress, "You opened " + longAddress};
    }
    // Hebrew, as a desktop entry in a right-to-left language names an app ("the office's documents
    // and archive system, main", "… charts", "… music", "… report").
    static LongNames rightToLeft() {
        return {"right to left", "מערכת המסמכים והארכיון של המשרד", {" הראשית", " לגרפים", " למוזיקה", " דוח "},
                "דוח רבעוני.odt", "You were editing " + longFileName};
    }
    // Arabic with an emoji after each word ("the documents 📁 and archive 🗂 system of the office 🏢,
    // main 📊", …), so that names are cut just after an emoji, and a window title that mixes Arabic
    // and Latin ("Q3 report final_budget_2027.xlsx").
    static LongNames arabicWithEmoji() {
        return {"Arabic with emoji", "نظام 📁 المستندات 🗂 والأرشيف 🏢 للمكتب 📌",
                {" الرئيسي 📊", " للرسوم 📈", " للموسيقى 🎵", " تقرير 📄 "}, "تقرير Q3 final_budget_2027.xlsx",
                "You were editing تقرير Q3 " + longFileName};
    }
};

struct LongContent : AppHarness {
    static constexpr std::uint64_t GiB = 1024 * MiB;
    // 1,023.9 MB (the widest figure below a gigabyte) and 99.99 GB, as the byte formatter writes them.
    static constexpr std::int64_t fall = -1'073'658'880;
    static constexpr std::int64_t rise = 107'363'582'935;

    LongNames names;
    const std::string frontName = names.start + names.ends[0];

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
    std::string offenderName(int n) const { return names.start + names.ends[3] + std::to_string(n); }

    void tick(bool moved) {
        clock.advance(1);
        steady.now += 1;
        processes.processes.clear();
        desktop.apps.clear();
        addApp(100, "longapp", frontName, 999 * MiB + 943 * 1024, true);  // 999.9 MB
        addApp(101, "soaring", names.start + names.ends[1], 500 * MiB + (moved ? rise : 0), false);
        addApp(102, "falling", names.start + names.ends[2], 1100 * MiB + (moved ? 0 : static_cast<std::uint64_t>(-fall)), false);
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
