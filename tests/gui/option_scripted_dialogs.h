#pragma once
// Answers the options window's dialogs from a script and records every
// message, so a test sees what the person would have been asked.
#include <QColor>
#include <QStringList>
#include <deque>

#include "ui/dialogs.h"

class OptionScriptedDialogs final : public ui::Dialogs {
 public:
  OptionScriptedDialogs() { ui::SetDialogs(this); }
  ~OptionScriptedDialogs() override { ui::SetDialogs(nullptr); }

  QStringList Messages;
  std::deque<ui::Button> Answers;
  std::deque<QString> Files;
  std::deque<QColor> Colors;

  ui::Button Message(QWidget*, const QString& caption, const QString& text, ui::MessageIcon, ui::Buttons,
                     ui::Button defaultButton) override {
    Messages << caption + QStringLiteral(": ") + text;
    if (Answers.empty()) return defaultButton;
    const ui::Button b = Answers.front();
    Answers.pop_front();
    return b;
  }
  bool TextInput(QWidget*, const QString&, const QString&, const QString&, QString&) override { return false; }
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return NextFile(); }
  QStringList OpenFileNames(QWidget*, const QString&, const QString&, const QString&) override {
    return {NextFile()};
  }
  QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return NextFile(); }
  QString ExistingDirectory(QWidget*, const QString&, const QString&) override { return NextFile(); }
  QColor Color(QWidget*, const QColor&, const QString&) override {
    if (Colors.empty()) return {};
    const QColor c = Colors.front();
    Colors.pop_front();
    return c;
  }

 private:
  QString NextFile() {
    if (Files.empty()) return {};
    const QString f = Files.front();
    Files.pop_front();
    return f;
  }
};
