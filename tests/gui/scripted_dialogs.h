#pragma once
// A ui::Dialogs that answers from queues set up by the test and records every
// question asked, so tests can check the exact caption and text.
#include <QColor>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "ui/dialogs.h"

namespace guitest {

struct Asked {
  QString Kind;  // "Message", "OpenFileName", "SaveFileName", ...
  QString Caption;
  QString Text;
  ui::MessageIcon Icon = ui::MessageIcon::Information;
  ui::Buttons Buttons = ui::NoButton;
};

class ScriptedDialogs : public ui::Dialogs {
 public:
  ScriptedDialogs();
  ~ScriptedDialogs() override;

  std::deque<ui::Button> Answers;  // for Message
  std::deque<QString> Files;       // for the file dialogs ("" = cancelled)
  std::deque<QString> FileTypes;   // the type chosen in a typed save dialog (default the first)
  std::deque<QColor> Colors;
  std::deque<QString> Inputs;  // for TextInput (a null QString = cancelled)
  std::vector<Asked> Log;
  // Called with each message as it is asked, before it is answered.
  std::function<void(const Asked&)> OnMessage;
  // Questions asked with nothing queued to answer them.
  int Unanswered = 0;

  ui::Button Message(QWidget* parent, const QString& caption, const QString& text, ui::MessageIcon icon,
                     ui::Buttons buttons, ui::Button defaultButton) override;
  QString OpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter) override;
  QStringList OpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                            const QString& filter) override;
  QString SaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter) override;
  // The name as the person typed it, and the type chosen from FileTypes.
  QString SaveFileNameOfType(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                             QString& chosenFilter) override;
  QString ExistingDirectory(QWidget* parent, const QString& caption, const QString& dir) override;
  QColor Color(QWidget* parent, const QColor& initial, const QString& caption) override;
  bool TextInput(QWidget* parent, const QString& caption, const QString& prompt, const QString& initial,
                 QString& answer) override;

  // Messages only, in order.
  QStringList MessageTexts() const;

 private:
  QString NextFile(const QString& kind, const QString& caption, const QString& filter);
};

}  // namespace guitest
