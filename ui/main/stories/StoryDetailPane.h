#pragma once
#include <functional>
#include <optional>
#include <string>

// Before Qt: the engine uses words Qt defines as macros.
#include "engine/stories/TimelineEvent.h"

#include <QMessageBox>
#include <QPointer>
#include <QScrollArea>

class QLabel;

class QPushButton;

namespace velmora {

// The selected story in full: time, change, title, effect card, Quit behind a confirmation,
// what the user was doing, the spike, free memory then, and the sources. "Pick a story" without
// one. Rebuilt only when what it shows changes: the same story keeps its scroll position, another
// one opens at its top.
class StoryDetailPane final : public QScrollArea {
    Q_OBJECT
public:
    using Quit = std::function<void(const std::string& key, const std::optional<std::string>& bundleID,
                                    const std::string& name)>;
    explicit StoryDetailPane(Quit quit, QWidget* parent = nullptr);
    // `appHasWindow`: whether the story's app has a window Quit could ask to close.
    void show(const std::optional<TimelineEvent>& story, const std::optional<std::string>& quitMessage,
              bool appHasWindow);

    // The confirmation while it is up.
    QMessageBox* confirmation() const { return confirm_; }

private:
    // `keepPlace`: the same story again, scrolled where the reader left it.
    void rebuild(bool keepPlace);
    void askToQuit();

    Quit quit_;
    std::optional<TimelineEvent> story_;
    std::optional<std::string> message_;
    bool appHasWindow_ = false;
    bool built_ = false;
    QPointer<QMessageBox> confirm_;
};

}  // namespace velmora
