// The help and what's-new sheets opened from the main window: their fixed size, dividers, the
// shortcut texts taken from the menus, and the keys that close them.
#include <gtest/gtest.h>

#include "tests/app/AppHarness.h"
#include "app/qt/AppStateAdapter.h"
#include "ui/main/MainWindow.h"
#include "ui/windows/InfoSheets.h"

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QTest>

namespace velmora {
namespace {

struct Sheets : AppHarness {
    Sheets() {
        make();
        adapter = std::make_unique<AppStateAdapter>(*state, scheduler);
        window = std::make_unique<MainWindow>(*adapter);
    }
    QDialog* open(bool AppState::*flag) {
        (*state).*flag = true;
        state->announceChange();
        QCoreApplication::processEvents();
        return window->findChild<QDialog*>();
    }
    std::unique_ptr<AppStateAdapter> adapter;
    std::unique_ptr<MainWindow> window;
};

int dividers(const QDialog& sheet) {
    int n = 0;
    for (auto* f : sheet.findChildren<QFrame*>("divider")) n += f->frameShape() == QFrame::HLine;
    return n;
}

TEST(InfoSheets, FixedSizeDividersAndClosingKeys) {
    struct Row {
        bool AppState::*flag;
        const char* title;
        QSize size;
        int dividers;
        Qt::Key key;
    };
    const Row rows[] = {
        {&AppState::showHelp, "Velmora Help", {640, 620}, 0, Qt::Key_Return},
        {&AppState::showWhatsNew, "What's New", {600, 620}, 8, Qt::Key_Return},
        {&AppState::showHelp, "Velmora Help", {640, 620}, 0, Qt::Key_Escape},
        {&AppState::showWhatsNew, "What's New", {600, 620}, 8, Qt::Key_Escape},
    };
    for (const auto& row : rows) {
        Sheets s;
        s.window->resize(1400, 900);
        s.window->show();
        QDialog* sheet = s.open(row.flag);
        ASSERT_NE(sheet, nullptr);
        EXPECT_EQ(sheet->windowTitle(), row.title);
        s.window->resize(900, 560);
        QCoreApplication::processEvents();
        EXPECT_EQ(sheet->size(), row.size) << row.title;
        EXPECT_EQ(sheet->minimumSize(), row.size);
        EXPECT_EQ(sheet->maximumSize(), row.size);
        EXPECT_EQ(dividers(*sheet), row.dividers) << row.title;
        QTest::keyClick(sheet, row.key);
        QCoreApplication::processEvents();
        EXPECT_FALSE((*s.state).*row.flag) << row.title << " " << row.key;
        EXPECT_EQ(s.window->findChild<QDialog*>(), nullptr);
    }
}

TEST(InfoSheets, HelpNamesTheMenusOwnKeys) {
    Sheets s;
    QDialog* sheet = s.open(&AppState::showHelp);
    ASSERT_NE(sheet, nullptr);
    QStringList keys;
    for (auto* label : sheet->findChildren<QLabel*>("keys")) keys << label->text();
    EXPECT_EQ(keys, (QStringList{"Ctrl+1 \u2013 Ctrl+7", "Ctrl+,", "Ctrl+Shift+M", "Ctrl+Shift+W",
                                 "Ctrl+Shift+1 \u2013 Ctrl+Shift+4"}));
    QStringList widgetText;
    for (auto* label : sheet->findChildren<QLabel*>())
        if (label->text().startsWith("A small always-on-top")) widgetText << label->text();
    ASSERT_EQ(widgetText.size(), 1);
    EXPECT_TRUE(widgetText.front().contains("or press Ctrl+Shift+W. It turns red if your computer is"));
    for (auto* label : sheet->findChildren<QLabel*>()) {
        EXPECT_FALSE(label->text().contains("Mac")) << label->text().toStdString();
        EXPECT_FALSE(label->text().contains(QChar(0x2318))) << label->text().toStdString();
    }
}

// What's new names the browsers Setup shows how to add the extension to, no others.
TEST(InfoSheets, WhatsNewNamesSetupsBrowsers) {
    Sheets s;
    s.state->selectedSidebar = SidebarItem::settings;
    s.window->show();
    s.state->announceChange();
    QCoreApplication::processEvents();
    const auto hasLabel = [](const QWidget& root, const QString& text) {
        for (auto* label : root.findChildren<QLabel*>())
            if (label->text() == text) return true;
        return false;
    };
    EXPECT_TRUE(hasLabel(*s.window, "Chrome, Chromium, Edge, Brave, Vivaldi"));
    QDialog* sheet = s.open(&AppState::showWhatsNew);
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(hasLabel(*sheet, "See exactly which tab is using memory in Chrome, Chromium, Edge, Brave, Vivaldi, "
                                 "and Firefox \u2014 even in background tabs."));
}

}  // namespace
}  // namespace velmora
