#pragma once

class QPushButton;

namespace velmora {

// The accent-filled button of a page's main action, large or regular.
void makeProminent(QPushButton* button, bool large = true);
// A plain button whose text says it throws something away.
void makeDestructive(QPushButton* button);

}  // namespace velmora
