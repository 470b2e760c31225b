// Copy start: one disc's files burned onto another drive's disc.
#include <QComboBox>

#include "app/burning_form.h"
#include "app/burning_texts.h"
#include "app/main_form.h"
#include "ui/dialogs.h"

namespace app {

void TBurningForm::CopyStart() {
  if (cmbSource->currentText() == cmbDestination->currentText()) {
    ui::CurrentDialogs().Inform(this, QString::fromUtf8(texts::kSameDrives));
    return;
  }
  // Reading the source disc's files comes with the copy-source library.
  ui::CurrentDialogs().Inform(this, QString::fromUtf8(texts::kInsertSource));
}

}  // namespace app
