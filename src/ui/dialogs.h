#pragma once
// Every message box, question and file dialog of the windows goes through
// this interface: the program uses the Qt implementation (QtDialogs), tests
// install a scripted one that answers in order and records what was asked.
#include <QColor>
#include <QString>
#include <QStringList>

class QWidget;

namespace ui {

enum class MessageIcon { Information, Warning, Critical, Question };

// Buttons a message box offers, combinable; the answer is one of them.
enum Button : unsigned {
  NoButton = 0,
  Ok = 1u << 0,
  Cancel = 1u << 1,
  Yes = 1u << 2,
  No = 1u << 3,
  Retry = 1u << 4,
  Abort = 1u << 5,
  Ignore = 1u << 6,
};
using Buttons = unsigned;

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A modal message box with `caption` ("Information", "Query", ...) and
  // `text`; returns the button pressed (`defaultButton` when closed).
  virtual Button Message(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon,
                         Buttons buttons, Button defaultButton) = 0;

  // File dialogs; an empty result (or list) means the person cancelled.
  // `filter` uses Qt's form: "Mervil Task File (*.mvt)".
  virtual QString OpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                               const QString& filter) = 0;
  virtual QStringList OpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                    const QString& filter) = 0;
  virtual QString SaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                               const QString& filter) = 0;
  // A save dialog of several file types ("A (*.a);;B (*.b)"): the name gets
  // the extension of the type chosen when the person typed none, and
  // `chosenFilter` is that type. By default the first type.
  virtual QString SaveFileNameOfType(QWidget* parent, const QString& caption, const QString& dir,
                                     const QString& filter, QString& chosenFilter) {
    chosenFilter = filter.section(QStringLiteral(";;"), 0, 0);
    return SaveFileName(parent, caption, dir, filter);
  }
  virtual QString ExistingDirectory(QWidget* parent, const QString& caption, const QString& dir) = 0;
  // An invalid colour means the person cancelled.
  virtual QColor Color(QWidget* parent, const QColor& initial, const QString& caption) = 0;
  // A one-line input box prefilled with `initial`; false when cancelled.
  virtual bool TextInput(QWidget* parent, const QString& caption, const QString& prompt, const QString& initial,
                         QString& answer) = 0;

  // Shorthands for the common boxes.
  void Inform(QWidget* parent, const QString& text, const QString& caption = QStringLiteral("Information")) {
    Message(parent, caption, text, MessageIcon::Information, Ok, Ok);
  }
  Button Ask(QWidget* parent, const QString& text, Buttons buttons, Button defaultButton,
             const QString& caption = QStringLiteral("Query")) {
    return Message(parent, caption, text, MessageIcon::Question, buttons, defaultButton);
  }
};

// The extension a file type stands for: "txt" for "TXT File (*.txt)", the
// first pattern's; empty for "*" or "*.*".
QString FilterSuffix(const QString& filter);
// `path` with the extension of `filter` added when it has none.
QString WithFilterSuffix(const QString& path, const QString& filter);

// The dialogs every window uses; the program sets the Qt implementation at
// start, a test its scripted one. Never null once set.
Dialogs& CurrentDialogs();
void SetDialogs(Dialogs* dialogs);

}  // namespace ui
