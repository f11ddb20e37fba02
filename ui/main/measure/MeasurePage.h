#pragma once
#include <array>

#include "ui/main/Page.h"
#include "ui/main/measure/MeasurePageRules.h"

class QLabel;
class QPushButton;
class QScrollArea;

namespace velmora {

class AppState;
class ConfidenceBadge;

// "Check one action": four steps, what is measured and how it goes, the live figures, the
// buttons of the phase and, after a run, the result card with "Save to Stories". Built once;
// a refresh only sets texts and visibility.
class MeasurePage final : public Page {
    Q_OBJECT
public:
    explicit MeasurePage(AppState& state, QWidget* parent = nullptr);
    void refresh() override;
    const MeasurePageView& view() const { return view_; }

private:
    class StepIcon;
    AppState& state_;
    MeasurePageView view_;
    bool drawn_ = false;
    std::optional<MeasurePhase> shownPhase_;
    QScrollArea* scroll_ = nullptr;
    QWidget* buttonRow_ = nullptr;
    std::array<StepIcon*, 4> stepIcons_{};
    std::array<QLabel*, 4> stepTitles_{};
    QLabel* measuring_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* watchingOff_ = nullptr;
    std::array<QLabel*, 3> figures_{};
    std::array<QPushButton*, 4> buttons_{};  // by MeasureButton
    QWidget* result_ = nullptr;
    ConfidenceBadge* badge_ = nullptr;
    QLabel* confidence_ = nullptr;
    QLabel* impact_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* figuresLine_ = nullptr;
    QPushButton* save_ = nullptr;
};

}  // namespace velmora
