#include "gui/scripted_dialogs.h"

namespace guitest {

ScriptedDialogs::ScriptedDialogs() { ui::SetDialogs(this); }

ScriptedDialogs::~ScriptedDialogs() { ui::SetDialogs(nullptr); }

ui::Button ScriptedDialogs::Message(QWidget*, const QString& caption, const QString& text, ui::MessageIcon icon,
                                    ui::Buttons buttons, ui::Button defaultButton) {
  Log.push_back({QStringLiteral("Message"), caption, text, icon, buttons});
  if (OnMessage) OnMessage(Log.back());
  if (Answers.empty()) {
    ++Unanswered;
    return defaultButton;
  }
  const ui::Button answer = Answers.front();
  Answers.pop_front();
  return answer;
}

QString ScriptedDialogs::NextFile(const QString& kind, const QString& caption, const QString& filter) {
  Log.push_back({kind, caption, filter, ui::MessageIcon::Information, ui::NoButton});
  if (Files.empty()) {
    ++Unanswered;
    return {};
  }
  QString file = Files.front();
  Files.pop_front();
  return file;
}

QString ScriptedDialogs::OpenFileName(QWidget*, const QString& caption, const QString&, const QString& filter) {
  return NextFile(QStringLiteral("OpenFileName"), caption, filter);
}

QStringList ScriptedDialogs::OpenFileNames(QWidget*, const QString& caption, const QString&, const QString& filter) {
  const QString file = NextFile(QStringLiteral("OpenFileNames"), caption, filter);
  return file.isEmpty() ? QStringList() : QStringList{file};
}

QString ScriptedDialogs::SaveFileName(QWidget*, const QString& caption, const QString&, const QString& filter) {
  return NextFile(QStringLiteral("SaveFileName"), caption, filter);
}

QString ScriptedDialogs::SaveFileNameOfType(QWidget*, const QString& caption, const QString&, const QString& filter,
                                            QString& chosenFilter) {
  chosenFilter = filter.section(QStringLiteral(";;"), 0, 0);
  if (!FileTypes.empty()) {
    chosenFilter = FileTypes.front();
    FileTypes.pop_front();
  }
  return NextFile(QStringLiteral("SaveFileName"), caption, filter);
}

QString ScriptedDialogs::ExistingDirectory(QWidget*, const QString& caption, const QString&) {
  return NextFile(QStringLiteral("ExistingDirectory"), caption, {});
}

QColor ScriptedDialogs::Color(QWidget*, const QColor&, const QString& caption) {
  Log.push_back({QStringLiteral("Color"), caption, {}, ui::MessageIcon::Information, ui::NoButton});
  if (Colors.empty()) {
    ++Unanswered;
    return {};
  }
  const QColor color = Colors.front();
  Colors.pop_front();
  return color;
}

QStringList ScriptedDialogs::MessageTexts() const {
  QStringList texts;
  for (const Asked& asked : Log)
    if (asked.Kind == QLatin1String("Message")) texts << asked.Text;
  return texts;
}

bool ScriptedDialogs::TextInput(QWidget*, const QString& caption, const QString& prompt, const QString&,
                                QString& answer) {
  Log.push_back({QStringLiteral("TextInput"), caption, prompt, ui::MessageIcon::Question, ui::NoButton});
  if (Inputs.empty()) {
    ++Unanswered;
    return false;
  }
  const QString next = Inputs.front();
  Inputs.pop_front();
  if (next.isNull()) return false;
  answer = next;
  return true;
}

}  // namespace guitest
