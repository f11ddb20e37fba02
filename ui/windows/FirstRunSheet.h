#pragma once
#include <QDialog>

class QCheckBox;
class QLabel;

namespace velmora {

class AppState;

// The welcome sheet: what Velmora does, three things to do, the launch-at-login switch and the
// buttons of this build. Accepting it records the first run (and, after "Continue anyway", that
// the build-folder hint was seen); rejecting it stores nothing.
class FirstRunSheet final : public QDialog {
    Q_OBJECT
public:
    explicit FirstRunSheet(AppState& state, QWidget* parent = nullptr);

    void accept() override;

private:
    void startWatching();
    void continueAnyway();
    void installAndReopen();
    void showInstallMessage();

    AppState& state_;
    QCheckBox* launchAtLogin_ = nullptr;
    QLabel* installMessage_ = nullptr;
    bool dismissHint_ = false;
};

}  // namespace velmora
