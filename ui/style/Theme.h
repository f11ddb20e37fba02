#pragma once

class QApplication;

namespace velmora {

// Fusion with a dark palette and a blue accent: the one look of every window.
void applyDarkFusion(QApplication& app);

}  // namespace velmora
