// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "ui/main/developer/DeveloperPage.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/FirstRunFlags.h"
#include "ui/main/ElidedLabel.h"
#include "ui/main/developer/DeveloperRules.h"
#include "ui/main/developer/SensorFeedDelegate.h"
#include "ui/main/developer/SensorFeedModel.h"
#include "ui/main/overview/PageParts.h"
#include "ui/main/setup/FormSection.h"
#include "platform/qt/BidiText.h"
#include "ui/main/stories/StoryListModel.h"
#include "ui/style/Fonts.h"
#include "ui/style/Painting.h"
#include "ui/style/Palette.h"
#include "ui/style/SourceBadge.h"

namespace velmora {

namespace {

QString qText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr int feedHeight = 340;

}  // namespace

DeveloperPage::DeveloperPage(AppState& state, QWidget* parent) : Page(parent), state_(state) {
    auto* column = scrollingColumn(this, 720, 28, 18);
    auto* host = column->parentWidget();
    const QColor primary = palette::primaryText(host), secondary = palette::secondaryText(host),
                 tertiary = palette::tertiaryText(host);

    column->addWidget(textLabel("Developer", roleFont(TextRole::largeTitle, QFont::Bold), primary, host));
    column->addWidget(formText("Shows which sensor produced each signal. Normal users never need this.",
                               TextRole::caption, secondary, host));

    // Pipeline status.
    FormSection pipeline = formSection(host, "Pipeline status");
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(6);
    grid->setColumnStretch(1, 1);
    int row = 0;
    for (const auto& status : developer::pipelineRows({})) {
        grid->addWidget(textLabel(qText(status.label), roleFont(TextRole::body), primary, pipeline.card), row, 0);
        auto* value = new ElidedLabel(1, pipeline.card);
        value->setFont(numberFont(roleFont(TextRole::body)));
        value->setColor(secondary);
        value->setObjectName(QString("status%1").arg(row));
        grid->addWidget(value, row++, 1);
        statusValues_.push_back(value);
    }
    pipeline.rows->addLayout(grid);
    bridgeError_ = formText("", TextRole::caption, palette::red(), pipeline.card);
    bridgeError_->setObjectName("bridgeError");
    pipeline.rows->addWidget(bridgeError_);
    column->addWidget(pipeline.box);

    // Browser sensor.
    FormSection browser = formSection(host, "Browser sensor");
    auto* test = new QPushButton("Test: read current browser page", browser.card);
    test->setObjectName("testBrowserRead");
    test->setMinimumSize(QFontMetrics(test->font()).horizontalAdvance(test->text()) + 28, 28);
    connect(test, &QPushButton::clicked, this, &DeveloperPage::testBrowserRead);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(test);
    buttonRow->addStretch(1);
    browser.rows->addLayout(buttonRow);
    // Linux never asks to let one app script a browser.
    browser.rows->addWidget(formText("Open Chrome, click this, then look at \u201CLast page\u201D above. On Linux page "
                                     "titles come from the browser extension.",
                                     TextRole::caption, secondary, browser.card));
    probeError_ = formText("", TextRole::caption, palette::red(), browser.card);
    probeError_->setObjectName("probeError");
    browser.rows->addWidget(probeError_);
    browser.rows->addWidget(formText("Chromium extension setup now lives in Setup (step 2) \u2014 it matters for "
                                     "everyday accuracy, not just debugging.",
                                     TextRole::caption2, tertiary, browser.card));
    column->addWidget(browser.box);

    // How tracking works.
    FormSection sources = formSection(host, "How tracking works");
    for (const SensorSource source : developer::explainedSources()) {
        auto* entry = new QVBoxLayout;
        entry->setSpacing(2);
        entry->setContentsMargins(0, 2, 0, 2);
        entry->addWidget(formText(qText(label(source)), TextRole::subheadline, primary, sources.card, QFont::DemiBold));
        entry->addWidget(formText(qText(explanation(source)), TextRole::caption, secondary, sources.card));
        sources.rows->addLayout(entry);
    }
    column->addWidget(sources.box);

    // Live sensor feed.
    FormSection feed = formSection(host, QString());
    auto* feedHeader = new QHBoxLayout;
    feedHeader->addWidget(textLabel("Live sensor feed", roleFont(TextRole::headline, QFont::DemiBold), primary, host));
    feedHeader->addStretch(1);
    auto* clear = new QPushButton("Clear", host);
    clear->setObjectName("clearFeed");
    clear->setFont(roleFont(TextRole::caption));
    connect(clear, &QPushButton::clicked, this, &DeveloperPage::clearFeed);
    feedHeader->addWidget(clear);
    static_cast<QVBoxLayout*>(feed.box->layout())->insertLayout(0, feedHeader);
    feedEmpty_ = formText("No sensor events yet \u2014 use the computer for a bit.", TextRole::body, secondary, feed.card);
    feedEmpty_->setObjectName("feedEmpty");
    feed.rows->addWidget(feedEmpty_);
    feed_ = new SensorFeedModel(this);
    feedView_ = new QListView(feed.card);
    feedView_->setObjectName("sensorFeed");
    feedView_->setModel(feed_);
    feedView_->setItemDelegate(new SensorFeedDelegate(feedView_));
    feedView_->setFrameShape(QFrame::NoFrame);
    feedView_->setSelectionMode(QAbstractItemView::NoSelection);
    feedView_->setFocusPolicy(Qt::NoFocus);
    feedView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    feedView_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    feedView_->setResizeMode(QListView::Adjust);
    feedView_->setFixedHeight(feedHeight);
    feedView_->setStyleSheet("QListView { background: transparent; }");
    feed.rows->addWidget(feedView_);
    column->addWidget(feed.box);

    // Recent stories.
    FormSection stories = formSection(host, "Recent stories (with source)");
    storiesCard_ = stories.card;
    storyRows_ = stories.rows;
    column->addWidget(stories.box);

    // App path.
    FormSection path = formSection(host, "App path");
    auto* where = formText(QCoreApplication::applicationFilePath(), TextRole::caption2, secondary, path.card);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(rolePixelSize(TextRole::caption2));
    where->setFont(mono);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    where->setObjectName("appPath");
    path.rows->addWidget(where);
    auto* pathStatus = formText(qText(developer::pathStatus(state_.dependencies().firstRun.isTemporaryBuild())),
                                TextRole::caption, primary, path.card);
    pathStatus->setObjectName("pathStatus");
    path.rows->addWidget(pathStatus);
    column->addWidget(path.box);
    column->addStretch(1);
}

void DeveloperPage::refresh() {
    const BridgeStatus bridge = state_.dependencies().sensors.browserBridgeStatus();
    const auto rows = developer::pipelineRows({state_.sampler->isRunning(), state_.sensorLastSource,
                                               state_.sensorLastTitle, bridge.isRunning, bridge.port,
                                               state_.systemPermissions.accessibilityGranted,
                                               state_.systemPermissions.screenRecordingGranted});
    for (std::size_t i = 0; i < rows.size() && i < statusValues_.size(); ++i) {
        // Each value stands alone in its column: the last page's title takes its own direction.
        const QString value = nameAlone(qText(rows[i].value));
        if (statusValues_[i]->text() != value) statusValues_[i]->setText(value);
    }
    // An error may quote a right-to-left title or a figure: shown in its sentence's order, spoken plain.
    const auto showLine = [](QLabel* label, const std::optional<std::string>& text) {
        label->setVisible(text.has_value());
        if (!text) return;
        const QString shown = shownSentence(qText(*text));
        if (label->text() != shown) label->setText(shown);
        if (label->accessibleName() != qText(*text)) label->setAccessibleName(qText(*text));
    };
    showLine(bridgeError_, developer::bridgeErrorLine(bridge.lastError));
    showLine(probeError_, developer::probeErrorLine(state_.sensorLastError, state_.sensorLastTitle));

    feed_->sync(state_.sensorLog);
    const bool empty = feed_->rowCount() == 0;
    feedEmpty_->setVisible(empty);
    feedView_->setVisible(!empty);
    refreshStories();
}

void DeveloperPage::testBrowserRead() {
    state_.browserScriptingProbe().pollNow();
    state_.refreshSensorStatus();
    state_.announceChange();
}

void DeveloperPage::clearFeed() {
    state_.sensorLog.clear();
    state_.announceChange();
}

void DeveloperPage::refreshStories() {
    const auto& events = state_.timeline->events();
    const std::size_t count = std::min(events.size(), developer::recentStoryLimit);
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < count; ++i) shown.push_back(events[i].id.toString() + events[i].title);
    // Rebuilt only when the listed stories change, not at every tick.
    if (shown == shownStories_) return;
    shownStories_ = std::move(shown);
    while (QLayoutItem* item = storyRows_->takeAt(0)) {
        if (QWidget* w = item->widget()) w->deleteLater();
        delete item;
    }
    const QColor primary = palette::primaryText(this), secondary = palette::secondaryText(this);
    for (std::size_t i = 0; i < count; ++i) {
        const TimelineEvent& story = events[i];
        auto* entry = new QWidget(storiesCard_);
        entry->setObjectName("recentStory");
        auto* lines = new QVBoxLayout(entry);
        lines->setContentsMargins(0, 2, 0, 2);
        lines->setSpacing(4);
        auto* title = new ElidedLabel(2, entry);
        title->setFont(roleFont(TextRole::callout, QFont::Medium));
        title->setColor(primary);
        // The story's app, as the title names it, isolated: a right-to-left name keeps its figures in place.
        title->setText(shownSentence(story.title, storyNames(story)));
        title->setAccessibleName(QString::fromStdString(story.title));
        lines->addWidget(title);
        auto* badges = new QHBoxLayout;
        badges->setSpacing(6);
        for (const SensorSource source : developer::storyBadges(story)) badges->addWidget(new SourceBadge(source, entry));
        badges->addStretch(1);
        lines->addLayout(badges);
        if (const auto change = developer::storyChangeLine(story))
            lines->addWidget(textLabel(QString::fromStdString(*change), numberFont(roleFont(TextRole::caption)), secondary,
                                       entry));
        storyRows_->addWidget(entry);
    }
    storiesCard_->setVisible(count > 0);
}

}  // namespace velmora
