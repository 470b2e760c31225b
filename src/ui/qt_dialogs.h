#pragma once
// The message boxes and file dialogs a person sees: Qt's own.
#include "ui/dialogs.h"

namespace ui {

class QtDialogs : public Dialogs {
 public:
  Button Message(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon, Buttons buttons,
                 Button defaultButton) override;
  QString OpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter) override;
  QStringList OpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                            const QString& filter) override;
  QString SaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter) override;
  QString SaveFileNameOfType(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                             QString& chosenFilter) override;
  QString ExistingDirectory(QWidget* parent, const QString& caption, const QString& dir) override;
  QColor Color(QWidget* parent, const QColor& initial, const QString& caption) override;
  bool TextInput(QWidget* parent, const QString& caption, const QString& prompt, const QString& initial,
                 QString& answer) override;
};

// Registers the artwork resources (":/artwork/...") of this static library.
void InitArtwork();

}  // namespace ui
