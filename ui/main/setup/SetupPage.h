#pragma once
#include <memory>

#include "ui/main/Page.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace velmora {

class AppState;
class BrowserLauncher;
class FileRevealer;
struct SetupViewLabels;

// What Velmora needs to work well, in the order to do it: where it runs from, launching at login,
// browser pages, the extension, memory watching, then the digest and export ("More") and the
// optional sensors and developer mode ("Advanced"). Every line is worked out from the state.
class SetupPage final : public Page {
    Q_OBJECT
public:
    explicit SetupPage(AppState& state, QWidget* parent = nullptr);
    ~SetupPage() override;
    void refresh() override;
    // Folds "More" and "Advanced" again, as a new page has them.
    void startOver() override;
    // Replaces the desktop's file manager and browser (tests).
    void setOpeners(FileRevealer& revealer, BrowserLauncher& launcher);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void revealChromium();
    void revealFirefox();
    void openExtensionsPage();

    AppState& state_;
    std::unique_ptr<FileRevealer> ownRevealer_;
    std::unique_ptr<BrowserLauncher> ownLauncher_;
    FileRevealer* revealer_;
    BrowserLauncher* launcher_;
    bool temporaryBuild_ = false;
    bool chromiumFound_ = false;
    std::unique_ptr<SetupViewLabels> w_;
};

}  // namespace velmora
