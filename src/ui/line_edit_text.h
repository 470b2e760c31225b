#pragma once

namespace ui {

// Keeps the text of every line edit (spin boxes' included) inside its box
// where the font's string bounds are far taller than its line height, as
// under wine: Qt centres the text on those bounds and draws it above the box,
// which then looks empty. Such edits get their text at the top instead,
// where a sound font would put it within a pixel. Installs once, on qApp.
void KeepLineEditTextInside();

}  // namespace ui
