#include "ui/dialogs.h"

#include "ui/qt_dialogs.h"

namespace ui {

namespace {
Dialogs* gCurrent = nullptr;
}

Dialogs& CurrentDialogs() {
  if (gCurrent == nullptr) {
    static QtDialogs fallback;
    return fallback;
  }
  return *gCurrent;
}

void SetDialogs(Dialogs* dialogs) { gCurrent = dialogs; }

}  // namespace ui
