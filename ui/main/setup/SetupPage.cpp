// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "ui/main/setup/SetupPage.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <utility>
#include <vector>

#include "platform/FirstRunFlags.h"
#include "platform/qt/DesktopOpeners.h"
#include "ui/main/overview/PageParts.h"
#include "ui/main/setup/FormSection.h"
#include "ui/main/setup/SetupRules.h"
#include "ui/style/Buttons.h"
#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"

namespace velmora {

// The widgets refresh() writes to.
struct SetupViewLabels {
    QLabel* installStatus;
    QPushButton* install;
    QLabel* installMessage;
    QCheckBox* launchAtLogin;
    QLabel* automationStatus;
    QPushButton* revealChromium;
    QPushButton* openExtensions;
    QLabel* chromeCaption;
    QPushButton* revealFirefox;
    QLabel* extensionStatus;
    QCheckBox* watchMemory;
    QCheckBox* weeklyDigest;
    QLabel* digestDenied;
    QLabel* exportMessage;
    QCheckBox* accessibility;
    QPushButton* requestAccessibility;
    QCheckBox* screenshots;
    QPushButton* requestScreenCapture;
    QLabel* screenCaptureNote;
    QCheckBox* developerMode;
    QPushButton* openDeveloper;
    // "More" and "Advanced": each arrow with the part it opens.
    std::vector<std::pair<QToolButton*, QWidget*>> disclosures;
};

namespace {

using setup::Tone;

QColor colourOf(Tone tone, const QWidget* w) {
    switch (tone) {
        case Tone::primary: return palette::primaryText(w);
        case Tone::secondary: return palette::secondaryText(w);
        case Tone::green: return palette::green();
        case Tone::yellow: return palette::yellow();
        case Tone::red: return palette::red();
    }
    return palette::primaryText(w);
}

// A status line: a symbol before the text, both in the tone's colour. The tones are taken from the
// page, not the label, whose own colour is already a tone.
void showStatus(QLabel* label, const setup::StatusLine& line, const QString& symbol) {
    const QString text = symbol.isEmpty() ? QString::fromStdString(line.text)
                                          : symbol + "  " + QString::fromStdString(line.text);
    if (label->text() != text) label->setText(text);
    setLabelColour(label, colourOf(line.tone, label->window()));
}

void showOptional(QLabel* label, const std::optional<setup::StatusLine>& line) {
    label->setVisible(line.has_value());
    if (line) showStatus(label, *line, QString());
}

const QString checkSymbol = "\u2714";
const QString warningSymbol = "\u26A0";

QString symbolFor(Tone tone) { return tone == Tone::green ? checkSymbol : warningSymbol; }

// Fusion's buttons hug their text; these get room to be read and hit.
void roomy(QPushButton* b) {
    b->setMinimumHeight(28);
    b->setMinimumWidth(QFontMetrics(b->font()).horizontalAdvance(b->text()) + 28);
}

QPushButton* button(const QString& text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    roomy(b);
    return b;
}

// Shows the state's value without acting on it.
void showSwitch(QCheckBox* box, bool on) {
    const QSignalBlocker quiet(box);
    box->setChecked(on);
}

QCheckBox* toggle(const QString& text, const char* name, QWidget* parent) {
    auto* t = new QCheckBox(text, parent);
    t->setObjectName(name);
    t->setFont(roleFont(TextRole::body));
    return t;
}

void setOpen(QToolButton* arrow, QWidget* body, bool open) {
    arrow->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    body->setVisible(open);
}

// A collapsed group under a disclosure arrow; returns the layout of its hidden part and notes the
// arrow and that part in `disclosures`.
QVBoxLayout* disclosure(QWidget* card, QVBoxLayout* rows, const QString& title, const char* name,
                        std::vector<std::pair<QToolButton*, QWidget*>>& disclosures) {
    auto* arrow = new QToolButton(card);
    arrow->setObjectName(name);
    arrow->setText(title);
    arrow->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    arrow->setAutoRaise(true);
    arrow->setFont(roleFont(TextRole::body, QFont::DemiBold));
    rows->addWidget(arrow);
    auto* body = new QWidget(card);
    body->setObjectName(QString(name) + "Body");
    setOpen(arrow, body, false);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(8);
    rows->addWidget(body);
    QObject::connect(arrow, &QToolButton::clicked, body, [arrow, body] { setOpen(arrow, body, body->isHidden()); });
    disclosures.emplace_back(arrow, body);
    return layout;
}

QString localPath(const std::string& fileUrl) { return QUrl(QString::fromStdString(fileUrl)).toLocalFile(); }

bool isWaylandSession() {
    return qEnvironmentVariable("XDG_SESSION_TYPE") == "wayland" || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

SetupPage::SetupPage(AppState& state, QWidget* parent)
    : Page(parent), state_(state), ownRevealer_(std::make_unique<DBusFileRevealer>()),
      ownLauncher_(std::make_unique<ProcessBrowserLauncher>()), revealer_(ownRevealer_.get()),
      launcher_(ownLauncher_.get()), w_(std::make_unique<SetupViewLabels>()) {
    auto* column = scrollingColumn(this, 680, 28, 18);
    auto* host = column->parentWidget();
    const QColor primary = palette::primaryText(host), secondary = palette::secondaryText(host),
                 tertiary = palette::tertiaryText(host);
    const auto caption = [&](const QString& text, QWidget* parent) {
        return formText(text, TextRole::caption, secondary, parent);
    };
    const auto fine = [&](const QString& text, QWidget* parent) {
        return formText(text, TextRole::caption2, tertiary, parent);
    };
    const auto status = [&](const char* name, QWidget* parent) {
        QLabel* l = formText("", TextRole::caption, secondary, parent);
        l->setObjectName(name);
        return l;
    };
    const auto buttonRow = [](QVBoxLayout* rows, std::initializer_list<QPushButton*> buttons) {
        auto* row = new QHBoxLayout;
        row->setSpacing(8);
        for (auto* b : buttons) row->addWidget(b);
        row->addStretch(1);
        rows->addLayout(row);
    };
    SetupViewLabels& w = *w_;

    // 1. Headline.
    column->addWidget(textLabel("Setup", roleFont(TextRole::largeTitle, QFont::Bold), primary, host));
    column->addWidget(formText("See what made your computer use more memory.", TextRole::title3, primary, host,
                               QFont::DemiBold));

    // 2. App install.
    FormSection install = formSection(host, "App install");
    w.installStatus = status("installStatus", install.card);
    w.installStatus->setFont(roleFont(TextRole::body));
    install.rows->addWidget(w.installStatus);
    w.install = button("", "install", install.card);
    connect(w.install, &QPushButton::clicked, this, [this] {
        // A login item this copy holds moves to the installed copy.
        const bool launching = state_.launchAtLoginStatus != LaunchAtLoginStatus::disabled;
        state_.installToApplications(launching ? std::optional<bool>(true) : std::nullopt);
    });
    buttonRow(install.rows, {w.install});
    // A failed install says why here; it was silent before.
    w.installMessage = status("installMessage", install.card);
    install.rows->addWidget(w.installMessage);
    column->addWidget(install.box);

    // 3. Launch at login. The switches act on every change the user makes, by pointer, keyboard or
    // assistive technology (which toggles without a click); refresh() sets them with signals blocked.
    FormSection login = formSection(host, QString());
    w.launchAtLogin = toggle("Launch at login", "launchAtLogin", login.card);
    connect(w.launchAtLogin, &QCheckBox::toggled, this, [this](bool on) { state_.setLaunchAtLogin(on); });
    login.rows->addWidget(w.launchAtLogin);
    login.rows->addWidget(caption(
        "Trends builds a real picture over days and weeks \u2014 that only works if the app is actually running.",
        login.card));
    column->addWidget(login.box);

    // 4. Step 1: browser pages. Linux has no pane that lets one app script a browser.
    FormSection pages = formSection(host, "1. Let Velmora see browser pages");
    pages.rows->addWidget(caption("Lets Stories say what you were doing \u2014 not just that memory changed.", pages.card));
    w.automationStatus = status("automationStatus", pages.card);
    pages.rows->addWidget(w.automationStatus);
    column->addWidget(pages.box);

    // 5. Step 2: the extension.
    FormSection extension = formSection(host, "2. See exactly which tab/site (recommended)");
    QVBoxLayout* ext = extension.rows;
    // Linux has no browser scripting: step 1 reads the window title, which names only the front tab.
    ext->addWidget(caption("The window title above only names the tab you're actively looking at \u2014 growth in "
                           "a background tab has no page detail without this.",
                           extension.card));
    ext->addWidget(formText(setup::extensionBrowsers, TextRole::caption, primary, extension.card,
                            QFont::DemiBold));
    w.revealChromium = button("Reveal extension folder in the file manager", "revealChromium", extension.card);
    connect(w.revealChromium, &QPushButton::clicked, this, &SetupPage::revealChromium);
    w.openExtensions = button("Open Chrome's extensions page", "openExtensions", extension.card);
    connect(w.openExtensions, &QPushButton::clicked, this, &SetupPage::openExtensionsPage);
    buttonRow(ext, {w.revealChromium, w.openExtensions});
    w.chromeCaption = caption("", extension.card);
    w.chromeCaption->setObjectName("chromeCaption");
    ext->addWidget(w.chromeCaption);
    ext->addWidget(fine("Turn on Developer Mode there, then drag the revealed folder onto the page.", extension.card));
    ext->addWidget(divider(extension.card));
    ext->addWidget(formText("Firefox", TextRole::caption, primary, extension.card, QFont::DemiBold));
    w.revealFirefox = button("Reveal Firefox extension in the file manager", "revealFirefox", extension.card);
    connect(w.revealFirefox, &QPushButton::clicked, this, &SetupPage::revealFirefox);
    buttonRow(ext, {w.revealFirefox});
    ext->addWidget(fine("In Firefox, go to about:debugging#/runtime/this-firefox \u2192 Load Temporary Add-on \u2192 "
                        "pick the revealed manifest.json. Firefox removes it on restart (unsigned), so you'll redo "
                        "this each time you restart Firefox.",
                        extension.card));
    ext->addWidget(divider(extension.card));
    w.extensionStatus = status("extensionStatus", extension.card);
    ext->addWidget(w.extensionStatus);
    column->addWidget(extension.box);

    // 6. Step 3: watching memory.
    FormSection watch = formSection(host, "3. Watch memory");
    w.watchMemory = toggle("Watch memory", "watchMemory", watch.card);
    connect(w.watchMemory, &QCheckBox::toggled, this, [this](bool on) {
        state_.settings->setPermission(&PermissionState::memoryMonitoringEnabled, on);
        state_.applyPermissionSettings();
        state_.announceChange();
    });
    watch.rows->addWidget(w.watchMemory);
    watch.rows->addWidget(caption("Turn on and leave Velmora open while you work. Stories appear automatically.",
                                  watch.card));
    column->addWidget(watch.box);

    // 7. More.
    FormSection more = formSection(host, QString());
    QVBoxLayout* m = disclosure(more.card, more.rows, "More", "more", w.disclosures);
    w.weeklyDigest = toggle("Weekly digest notification", "weeklyDigest", more.card);
    connect(w.weeklyDigest, &QCheckBox::toggled, this, [this](bool on) {
        state_.setWeeklyDigestEnabled(on);
        state_.announceChange();
    });
    m->addWidget(w.weeklyDigest);
    m->addWidget(caption("A once-a-week notification summarizing what used the most memory, similar to Trends.",
                         more.card));
    w.digestDenied = status("digestDenied", more.card);
    showStatus(w.digestDenied, {"Notifications are off for Velmora in Settings", Tone::yellow}, warningSymbol);
    m->addWidget(w.digestDenied);
    m->addWidget(divider(more.card));
    auto* exportButton = button("Export data\u2026", "exportData", more.card);
    connect(exportButton, &QPushButton::clicked, this, [this] { state_.exportToFile(); });
    buttonRow(m, {exportButton});
    m->addWidget(caption("Saves everything Velmora has collected \u2014 Stories, day-by-day trends, current app sizes "
                         "\u2014 as one JSON file. Useful for sharing with tech support, or pasting into an AI "
                         "assistant to ask \u201Cwhat's actually going on with my computer?\u201D",
                         more.card));
    w.exportMessage = status("exportMessage", more.card);
    m->addWidget(w.exportMessage);
    column->addWidget(more.box);

    // 8. Advanced.
    FormSection advanced = formSection(host, QString());
    QVBoxLayout* a = disclosure(advanced.card, advanced.rows, "Advanced", "advanced", w.disclosures);
    const auto sensorSwitch = [this](bool PermissionState::*member) {
        return [this, member](bool on) {
            state_.settings->setPermission(member, on);
            state_.applyPermissionSettings();
            state_.announceChange();
        };
    };
    w.accessibility = toggle("Accessibility (extra detail)", "accessibility", advanced.card);
    connect(w.accessibility, &QCheckBox::toggled, this, sensorSwitch(&PermissionState::accessibilityEnabled));
    a->addWidget(w.accessibility);
    w.requestAccessibility = button("Request Accessibility", "requestAccessibility", advanced.card);
    connect(w.requestAccessibility, &QPushButton::clicked, this, [this] { state_.requestAccessibility(); });
    buttonRow(a, {w.requestAccessibility});
    w.screenshots = toggle("Screenshots (fallback)", "screenshots", advanced.card);
    connect(w.screenshots, &QCheckBox::toggled, this, sensorSwitch(&PermissionState::screenshotsEnabled));
    a->addWidget(w.screenshots);
    w.requestScreenCapture = button("Request screen capture", "requestScreenCapture", advanced.card);
    connect(w.requestScreenCapture, &QPushButton::clicked, this, [this] { state_.requestScreenRecording(); });
    buttonRow(a, {w.requestScreenCapture});
    w.screenCaptureNote = caption("", advanced.card);
    w.screenCaptureNote->setObjectName("screenCaptureNote");
    a->addWidget(w.screenCaptureNote);
    a->addWidget(divider(advanced.card));
    w.developerMode = toggle("Developer mode", "developerMode", advanced.card);
    connect(w.developerMode, &QCheckBox::toggled, this, [this](bool on) {
        state_.settings->setDeveloperModeEnabled(on);
        state_.announceChange();
    });
    a->addWidget(w.developerMode);
    a->addWidget(caption("Adds a Developer sidebar: live sensor feed, which pipeline produced each story, bridge "
                         "status, browser sensor test.",
                         advanced.card));
    w.openDeveloper = button("Open Developer panel", "openDeveloper", advanced.card);
    connect(w.openDeveloper, &QPushButton::clicked, this, [this] {
        state_.selectedSidebar = SidebarItem::developer;
        state_.announceChange();
    });
    buttonRow(a, {w.openDeveloper});
    a->addWidget(divider(advanced.card));
    auto* welcome = button("Show welcome again", "showWelcome", advanced.card);
    connect(welcome, &QPushButton::clicked, this, [this] {
        state_.showFirstRun = true;
        state_.announceChange();
    });
    buttonRow(a, {welcome});
    auto* path = fine(QCoreApplication::applicationFilePath(), advanced.card);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(rolePixelSize(TextRole::caption2));
    path->setFont(mono);
    path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    path->setObjectName("appPath");
    a->addWidget(path);
    column->addWidget(advanced.box);
    column->addStretch(1);

    temporaryBuild_ = state_.dependencies().firstRun.isTemporaryBuild();
    chromiumFound_ = launcher_->chromiumBrowser().has_value();
}

SetupPage::~SetupPage() = default;

void SetupPage::setOpeners(FileRevealer& revealer, BrowserLauncher& launcher) {
    revealer_ = &revealer;
    launcher_ = &launcher;
    chromiumFound_ = launcher_->chromiumBrowser().has_value();
}

void SetupPage::startOver() {
    for (const auto& [arrow, body] : w_->disclosures) setOpen(arrow, body, false);
}

void SetupPage::showEvent(QShowEvent* event) {
    Page::showEvent(event);
    // What may have changed while the page was away: the build, a browser installed since.
    temporaryBuild_ = state_.dependencies().firstRun.isTemporaryBuild();
    chromiumFound_ = launcher_->chromiumBrowser().has_value();
    state_.refreshSystemPermissions();
}

void SetupPage::refresh() {
    const SettingsStore& settings = *state_.settings;
    const setup::SetupView v = setup::setupView(
        {temporaryBuild_, state_.launchAtLoginStatus, state_.sensorLastTitle, state_.extensionEverConnected,
         settings.permissions(), state_.systemPermissions, settings.developerModeEnabled(),
         settings.weeklyDigestEnabled(), state_.weeklyDigestPermissionDenied, state_.lastExportMessage,
         state_.lastInstallMessage, isWaylandSession(), chromiumFound_,
         state_.chromiumExtensionFolderURL().has_value()});
    SetupViewLabels& w = *w_;

    showStatus(w.installStatus, v.installStatus, v.installProminent ? QString() : checkSymbol);
    const QString installText = QString::fromStdString(v.installButton).replace("&", "&&");
    if (w.install->text() != installText) {
        w.install->setText(installText);
        if (v.installProminent) makeProminent(w.install, false);
        else w.install->setStyleSheet(QString());
        roomy(w.install);
    }
    showOptional(w.installMessage, v.installMessage);

    showSwitch(w.launchAtLogin, v.launchAtLoginOn);
    showStatus(w.automationStatus, v.automationStatus, symbolFor(v.automationStatus.tone));
    w.revealChromium->setEnabled(v.revealEnabled);
    w.revealFirefox->setEnabled(v.revealEnabled);
    w.openExtensions->setEnabled(v.chromeButtonEnabled);
    w.chromeCaption->setVisible(v.chromeCaption.has_value());
    if (v.chromeCaption) w.chromeCaption->setText(QString::fromStdString(*v.chromeCaption));
    showStatus(w.extensionStatus, v.extensionStatus, symbolFor(v.extensionStatus.tone));

    showSwitch(w.watchMemory, v.watchMemoryOn);
    showSwitch(w.weeklyDigest, v.weeklyDigestOn);
    w.digestDenied->setVisible(v.digestDeniedShown);
    showOptional(w.exportMessage, v.exportMessage);

    showSwitch(w.accessibility, v.accessibilityOn);
    w.requestAccessibility->setVisible(v.requestAccessibilityShown);
    showSwitch(w.screenshots, v.screenshotsOn);
    w.requestScreenCapture->setVisible(v.requestScreenCaptureShown);
    w.screenCaptureNote->setVisible(v.screenCaptureNote.has_value());
    if (v.screenCaptureNote) w.screenCaptureNote->setText(QString::fromStdString(*v.screenCaptureNote));
    showSwitch(w.developerMode, v.developerModeOn);
    w.openDeveloper->setVisible(v.openDeveloperShown);
}

void SetupPage::revealChromium() {
    if (const auto url = state_.chromiumExtensionFolderURL()) revealer_->showFolder(localPath(*url).toStdString());
}

void SetupPage::revealFirefox() {
    if (const auto url = state_.firefoxExtensionFolderURL())
        revealer_->showItem((localPath(*url) + "manifest.json").toStdString());
}

void SetupPage::openExtensionsPage() {
    if (!launcher_->openInChromium("chrome://extensions")) {
        // Whatever was found before is gone: say how instead.
        chromiumFound_ = false;
        refresh();
    }
}

}  // namespace velmora
