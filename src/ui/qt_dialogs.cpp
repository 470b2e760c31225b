#include "ui/qt_dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <utility>

static void InitArtworkResource() { Q_INIT_RESOURCE(artwork); }

namespace ui {

namespace {

constexpr std::pair<Button, QMessageBox::StandardButton> kButtons[] = {
    {Ok, QMessageBox::Ok},       {Cancel, QMessageBox::Cancel}, {Yes, QMessageBox::Yes},
    {No, QMessageBox::No},       {Retry, QMessageBox::Retry},   {Abort, QMessageBox::Abort},
    {Ignore, QMessageBox::Ignore},
};

QMessageBox::Icon ToQt(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Critical: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

// The default extension follows the type chosen, also when it was chosen
// without the person touching the list: the overwrite question then names
// the file that will be written.
class TypedSaveDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;
  void accept() override {
    setDefaultSuffix(FilterSuffix(selectedNameFilter()));
    QFileDialog::accept();
  }
};

}  // namespace

void InitArtwork() { InitArtworkResource(); }

Button QtDialogs::Message(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon,
                          Buttons buttons, Button defaultButton) {
  QMessageBox box(ToQt(icon), caption, text, QMessageBox::NoButton, parent);
  QMessageBox::StandardButtons qtButtons;
  for (const auto& [ours, theirs] : kButtons)
    if ((buttons & ours) != 0) qtButtons |= theirs;
  if (qtButtons == QMessageBox::NoButton) qtButtons = QMessageBox::Ok;
  box.setStandardButtons(qtButtons);
  for (const auto& [ours, theirs] : kButtons)
    if (ours == defaultButton) box.setDefaultButton(theirs);
  const int answer = box.exec();
  for (const auto& [ours, theirs] : kButtons)
    if (answer == theirs) return ours;
  return defaultButton;
}

QString QtDialogs::OpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QStringList QtDialogs::OpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                     const QString& filter) {
  return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString QtDialogs::SaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter) {
  return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

QString QtDialogs::SaveFileNameOfType(QWidget* parent, const QString& caption, const QString& dir,
                                      const QString& filter, QString& chosenFilter) {
  TypedSaveDialog dialog(parent, caption, dir, filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(FilterSuffix(dialog.selectedNameFilter()));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog](const QString& chosen) { dialog.setDefaultSuffix(FilterSuffix(chosen)); });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  chosenFilter = dialog.selectedNameFilter();
  return WithFilterSuffix(dialog.selectedFiles().constFirst(), chosenFilter);
}

QString QtDialogs::ExistingDirectory(QWidget* parent, const QString& caption, const QString& dir) {
  return QFileDialog::getExistingDirectory(parent, caption, dir);
}

QColor QtDialogs::Color(QWidget* parent, const QColor& initial, const QString& caption) {
  return QColorDialog::getColor(initial, parent, caption);
}

bool QtDialogs::TextInput(QWidget* parent, const QString& caption, const QString& prompt, const QString& initial,
                          QString& answer) {
  bool ok = false;
  const QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, initial, &ok);
  if (ok) answer = text;
  return ok;
}

}  // namespace ui
