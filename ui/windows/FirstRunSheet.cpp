// The engine headers come before Qt's: they use words Qt defines as macros (signals).
#include "app/AppState.h"
#include "ui/windows/FirstRunSheet.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/FirstRunFlags.h"
#include "ui/style/Buttons.h"
#include "ui/style/Fonts.h"
#include "ui/style/Palette.h"
#include "ui/windows/InfoSheets.h"

namespace velmora {

namespace {

constexpr int contentWidth = 520;

struct Hint {
    const char* title;
    const char* text;
};

constexpr Hint hints[] = {
    {"Install the normal app (recommended)",
     "Build-folder builds break permissions. One stable app in ~/.local fixes that."},
    // Linux never asks to let one app script a browser: page titles come from the extension.
    {"Allow browser reading", "Add the Velmora extension to your browser (Setup shows how). That\u2019s how we see "
                              "page titles."},
    {"Leave it open",
     "Stories appear when an app jumps a lot. \u201CWho\u2019s heavy\u201D always shows current sizes."},
};

}  // namespace

FirstRunSheet::FirstRunSheet(AppState& state, QWidget* parent) : QDialog(parent), state_(state) {
    setObjectName("firstRunSheet");
    setWindowTitle("Velmora");
    const bool temporary = state_.dependencies().firstRun.isTemporaryBuild();
    const QColor primary = palette::primaryText(this);
    const QColor secondary = palette::secondaryText(this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(32, 32, 32, 32);
    column->setSpacing(20);
    // Wrapped texts get their width up front, so the sheet's height always fits what it says.
    column->setSizeConstraint(QLayout::SetFixedSize);
    auto add = [&](QWidget* w) {
        w->setFixedWidth(contentWidth);
        column->addWidget(w);
    };

    add(textLabel("Velmora", TextRole::largeTitle, primary, this, QFont::Bold));
    add(textLabel("See what made your computer use more memory \u2014 in plain language.", TextRole::title3,
                  secondary, this));

    if (temporary) {
        auto* banner = new QFrame(this);
        banner->setObjectName("temporaryBanner");
        banner->setStyleSheet(QString("#temporaryBanner { background: %1; border-radius: 10px; }")
                                  .arg(palette::withAlpha(palette::yellow(), 0.15).name(QColor::HexArgb)));
        auto* row = new QHBoxLayout(banner);
        row->setContentsMargins(12, 12, 12, 12);
        row->setSpacing(10);
        auto* sign = textLabel("\u26A0", TextRole::callout, palette::yellow(), banner);
        sign->setWordWrap(false);
        row->addWidget(sign, 0, Qt::AlignTop);
        auto* warning = textLabel("You\u2019re on a temporary build from the build folder. Permissions will keep "
                                 "breaking until you install the normal app.",
                                 TextRole::callout, primary, banner);
        warning->setFixedWidth(contentWidth - 24 - 10 - sign->sizeHint().width());
        row->addWidget(warning, 1);
        add(banner);
    }

    auto* hintBox = new QWidget(this);
    auto* hintRows = new QVBoxLayout(hintBox);
    hintRows->setContentsMargins(0, 0, 0, 0);
    hintRows->setSpacing(14);
    const QColor accent = palette::accent(this);
    int number = 1;
    for (const auto& hint : hints) {
        auto* row = new QHBoxLayout;
        row->setSpacing(12);
        auto* badge = textLabel(QString::number(number++), TextRole::headline, accent, hintBox, QFont::DemiBold);
        badge->setWordWrap(false);
        badge->setAlignment(Qt::AlignCenter);
        badge->setFixedSize(28, 28);
        badge->setStyleSheet(QString("background: %1; border-radius: 14px;")
                                 .arg(palette::withAlpha(accent, 0.2).name(QColor::HexArgb)));
        row->addWidget(badge, 0, Qt::AlignTop);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(4);
        for (QLabel* line : {textLabel(hint.title, TextRole::headline, primary, hintBox, QFont::DemiBold),
                             textLabel(hint.text, TextRole::callout, secondary, hintBox)}) {
            line->setFixedWidth(contentWidth - 28 - 12);
            texts->addWidget(line);
        }
        row->addLayout(texts, 1);
        hintRows->addLayout(row);
    }
    add(hintBox);

    launchAtLogin_ = new QCheckBox("Launch Velmora at login", this);
    launchAtLogin_->setObjectName("launchAtLogin");
    launchAtLogin_->setChecked(true);  // on every time the sheet is built; only the buttons apply it
    add(launchAtLogin_);
    add(textLabel("Recommended \u2014 Trends builds a real picture over days and weeks, which only works if the app "
                  "is actually running. Change this anytime in Setup.",
                  TextRole::caption, secondary, this));

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    if (temporary) {
        auto* install = new QPushButton("Install && reopen", this);
        install->setObjectName("installAndReopen");
        makeProminent(install);
        connect(install, &QPushButton::clicked, this, &FirstRunSheet::installAndReopen);
        auto* anyway = new QPushButton("Continue anyway", this);
        anyway->setObjectName("continueAnyway");
        // Return gets past the sheet; installing and restarting takes a deliberate press.
        anyway->setDefault(true);
        connect(anyway, &QPushButton::clicked, this, &FirstRunSheet::continueAnyway);
        anyway->setMinimumHeight(install->sizeHint().height());
        // Fusion's buttons hug their text; this one gets the padding of the prominent one.
        anyway->setMinimumWidth(QFontMetrics(anyway->font()).horizontalAdvance(anyway->text()) + 28);
        buttons->addWidget(install);
        buttons->addWidget(anyway);
    } else {
        auto* start = new QPushButton("Start watching", this);
        start->setObjectName("startWatching");
        makeProminent(start);
        start->setDefault(true);
        connect(start, &QPushButton::clicked, this, &FirstRunSheet::startWatching);
        buttons->addWidget(start);
    }
    buttons->addStretch(1);
    column->addLayout(buttons);

    // An install that failed says why under the install button; a sheet without one has nothing to say.
    if (temporary) {
        installMessage_ = textLabel(QString(), TextRole::caption, secondary, this);
        installMessage_->setObjectName("installMessage");
        add(installMessage_);
        showInstallMessage();
    }

    add(textLabel("You can redo setup anytime under Setup.", TextRole::caption, palette::tertiaryText(this), this));
}

void FirstRunSheet::accept() {
    FirstRunFlags& flags = state_.dependencies().firstRun;
    flags.markCompleted();
    if (dismissHint_) flags.dismissStableHint();
    QDialog::accept();
}

void FirstRunSheet::startWatching() {
    state_.setLaunchAtLogin(launchAtLogin_->isChecked());
    accept();
}

void FirstRunSheet::continueAnyway() {
    state_.setLaunchAtLogin(launchAtLogin_->isChecked());
    dismissHint_ = true;
    accept();
}

void FirstRunSheet::installAndReopen() {
    // The switch goes with the install: the installed copy registers itself at its first start.
    state_.installToApplications(launchAtLogin_->isChecked());
    showInstallMessage();
}

void FirstRunSheet::showInstallMessage() {
    const auto& message = state_.lastInstallMessage;
    installMessage_->setVisible(message.has_value());
    if (!message) return;
    const QString text = QString::fromStdString(*message);
    installMessage_->setText(text);
    QPalette p = installMessage_->palette();
    p.setColor(QPalette::WindowText,
               text.startsWith("Install failed") ? palette::red() : palette::secondaryText(this));
    installMessage_->setPalette(p);
}

}  // namespace velmora
