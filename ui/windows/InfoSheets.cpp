#include "ui/windows/InfoSheets.h"

#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "ui/main/setup/SetupRules.h"
#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"
#include "ui/style/Symbols.h"

namespace velmora {

namespace {

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setObjectName("divider");
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setStyleSheet(QString("color: %1;").arg(palette::tertiaryText(parent).name(QColor::HexArgb)));
    return line;
}

QVBoxLayout* stack(int spacing) {
    auto* s = new QVBoxLayout;
    s->setContentsMargins(0, 0, 0, 0);
    s->setSpacing(spacing);
    return s;
}

// A symbol box of `width`: a drawn sidebar symbol when there is one, else a glyph.
QLabel* symbolBox(std::optional<SidebarItem> item, const QString& glyph, int width, int size, QWidget* parent) {
    const QColor accent = palette::accent(parent);
    auto* box = textLabel(item ? QString() : glyph, TextRole::body, accent, parent, QFont::DemiBold);
    box->setWordWrap(false);
    QFont f = box->font();
    f.setPixelSize(size);
    box->setFont(f);
    if (item) box->setPixmap(symbolIcon(*item, accent).pixmap(size, size));
    box->setFixedWidth(width);
    box->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return box;
}

void header(QVBoxLayout* column, const QString& title, const QString& subtitle, QWidget* parent) {
    auto* h = stack(6);
    h->addWidget(textLabel(title, TextRole::largeTitle, palette::primaryText(parent), parent, QFont::Bold));
    h->addWidget(textLabel(subtitle, TextRole::body, palette::secondaryText(parent), parent));
    column->addLayout(h);
}

}  // namespace

QLabel* textLabel(const QString& text, TextRole role, const QColor& colour, QWidget* parent,
                  QFont::Weight weight) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(roleFont(role, weight));
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
    return label;
}

InfoSheet::InfoSheet(int width, QWidget* parent) : QDialog(parent) {
    setFixedSize(width, height);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    content_ = new QWidget(scroll);
    content_->setObjectName("sheetContent");
    scroll->setWidget(content_);
    outer->addWidget(scroll, 1);
    auto* rule = divider(this);
    rule->setObjectName("footerDivider");
    outer->addWidget(rule);
    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(16, 16, 16, 16);
    footer->addStretch(1);
    auto* done = new QPushButton("Done", this);
    done->setObjectName("done");
    done->setDefault(true);  // Return anywhere on the sheet closes it
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    footer->addWidget(done);
    outer->addLayout(footer);
}

HelpSheet::HelpSheet(const HelpKeys& keys, QWidget* parent) : InfoSheet(width, parent) {
    setObjectName("helpSheet");
    setWindowTitle("Velmora Help");
    QWidget* page = content();
    const QColor primary = palette::primaryText(page);
    const QColor secondary = palette::secondaryText(page);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(28, 28, 28, 28);
    column->setSpacing(24);
    header(column, "How Velmora works", "A quick tour of what each part is for.", page);

    auto section = [&](const QString& title, const QString& body) {
        auto* s = stack(6);
        s->addWidget(textLabel(title, TextRole::headline, primary, page, QFont::DemiBold));
        s->addWidget(textLabel(body, TextRole::body, secondary, page));
        column->addLayout(s);
    };
    section("What this app does", "Velmora watches how much RAM your computer's apps use, and explains the moments "
                                  "memory jumped \u2014 in plain language, not raw numbers.");

    struct Tab {
        SidebarItem item;
        const char* name;
        const char* text;
    };
    const Tab tabs[] = {
        {SidebarItem::overview, "Overview",
         "What's using memory right now, grouped into categories, plus what's moved recently."},
        {SidebarItem::timeline, "Stories", "Individual moments memory jumped a lot, explained one at a time."},
        {SidebarItem::liveChart, "Live Chart",
         "The heaviest apps' memory as continuous lines over the last little while."},
        {SidebarItem::measure, "Check one action", "Measure the memory cost of one specific thing you're about to do."},
        {SidebarItem::apps, "Who's heavy", "A live ranking of every app by how much memory it's using right now."},
        {SidebarItem::trends, "Trends", "Patterns over days, weeks, and months \u2014 is this a one-off or a habit?"},
        {SidebarItem::settings, "Setup", "Permissions, the browser extension, and everything else optional."},
    };
    auto* tabBlock = stack(14);
    tabBlock->addWidget(textLabel("The tabs", TextRole::headline, primary, page, QFont::DemiBold));
    for (const auto& tab : tabs) {
        auto* row = new QHBoxLayout;
        row->setSpacing(12);
        row->addWidget(symbolBox(tab.item, QString(), 22, 15, page), 0, Qt::AlignTop);
        auto* texts = stack(2);
        texts->addWidget(textLabel(tab.name, TextRole::body, primary, page, QFont::DemiBold));
        texts->addWidget(textLabel(tab.text, TextRole::callout, secondary, page));
        row->addLayout(texts, 1);
        tabBlock->addLayout(row);
    }
    column->addLayout(tabBlock);

    section("The floating widget",
            "A small always-on-top (or docked) card showing the app you're focused on, its trend, and total system "
            "memory. Open it from the toolbar button, or press " +
                keys.toggleWidget + ". It turns red if your computer is critically low on memory.");

    auto* shortcuts = stack(10);
    shortcuts->addWidget(textLabel("Keyboard shortcuts", TextRole::headline, primary, page, QFont::DemiBold));
    auto* rows = stack(0);
    const std::pair<const char*, QString> keyRows[] = {
        {"Jump to a tab", keys.firstTab + " \u2013 " + keys.lastTab},
        {"Open Setup", keys.setup},
        {"Check one action", keys.checkOneAction},
        {"Show/hide the floating widget", keys.toggleWidget},
        {"Snap the widget to a screen corner", keys.firstCorner + " \u2013 " + keys.lastCorner},
    };
    for (const auto& [action, text] : keyRows) {
        auto* row = new QHBoxLayout;
        row->setContentsMargins(0, 6, 0, 6);
        auto* what = textLabel(action, TextRole::callout, primary, page);
        what->setWordWrap(false);
        row->addWidget(what);
        row->addStretch(1);
        auto* k = textLabel(text, TextRole::callout, secondary, page);
        k->setObjectName("keys");
        k->setWordWrap(false);
        QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setPixelSize(rolePixelSize(TextRole::callout));
        k->setFont(mono);
        row->addWidget(k);
        rows->addLayout(row);
    }
    shortcuts->addLayout(rows);
    column->addLayout(shortcuts);

    section("Privacy",
            "Everything Velmora measures stays on this computer \u2014 Stories, Trends, and the daily history are all "
            "stored locally, and nothing is sent to a server. The only network activity is a local bridge on "
            "127.0.0.1 for the optional browser extension, which never leaves your machine. Exporting data is "
            "something you choose to do, from a save dialog \u2014 it never happens on its own.");
    column->addStretch(1);
}

WhatsNewSheet::WhatsNewSheet(QWidget* parent) : InfoSheet(width, parent) {
    setObjectName("whatsNewSheet");
    setWindowTitle("What's New");
    QWidget* page = content();
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(28, 28, 28, 28);
    column->setSpacing(20);
    header(column, "What's new", "The recent additions, in plain language.", page);

    struct Entry {
        std::optional<SidebarItem> item;
        const char* glyph;
        const char* title;
        const char* body;
    };
    const std::string browserExtensionBody = std::string("See exactly which tab is using memory in ") +
                                             setup::extensionBrowsers +
                                             ", and Firefox \u2014 even in background tabs.";
    const Entry entries[] = {
        {std::nullopt, "\u26A0", "Critical memory warning",
         "The floating widget turns red and forces itself open when your computer has 5% or less memory free."},
        {SidebarItem::overview, "", "Overview",
         "See memory grouped into categories \u2014 Browsers, AI Tools, Developer Tools, and more \u2014 plus "
         "what's moved recently."},
        {SidebarItem::liveChart, "", "Live Chart",
         "Watch the heaviest apps' memory as continuous lines, instead of piecing a trend together from Stories."},
        {std::nullopt, "\u2750", "Floating widget",
         "An always-on-top card, or a docked bar at the top/bottom of your screen that collapses until you hover."},
        {SidebarItem::trends, "", "Trends",
         "Day, week, and month patterns \u2014 is an app a one-off spike or a chronic problem?"},
        {std::nullopt, "\u21A5", "Export",
         "Save everything Velmora has collected as one file \u2014 handy for tech support or pasting into an AI "
         "assistant."},
        {std::nullopt, "\u2709", "Weekly digest",
         "An optional once-a-week notification summarizing what used the most memory."},
        {std::nullopt, "\u26A1", "Launch at login & one-click Quit",
         "Have Velmora start automatically, and quit a heavy app straight from its story."},
        // The browsers Setup shows how to add the extension to.
        {std::nullopt, "\u229E", "Browser extension", browserExtensionBody.c_str()},
    };
    auto* list = stack(0);
    const QColor primary = palette::primaryText(page);
    const QColor secondary = palette::secondaryText(page);
    for (std::size_t i = 0; i < std::size(entries); ++i) {
        const auto& e = entries[i];
        auto* row = new QHBoxLayout;
        row->setContentsMargins(0, 10, 0, 10);
        row->setSpacing(14);
        row->addWidget(symbolBox(e.item, e.glyph, 24, 16, page), 0, Qt::AlignTop);
        auto* texts = stack(3);
        texts->addWidget(textLabel(e.title, TextRole::body, primary, page, QFont::DemiBold));
        texts->addWidget(textLabel(e.body, TextRole::callout, secondary, page));
        row->addLayout(texts, 1);
        list->addLayout(row);
        if (i + 1 < std::size(entries)) list->addWidget(divider(page));
    }
    column->addLayout(list);
    column->addStretch(1);
}

}  // namespace velmora
