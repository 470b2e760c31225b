#include "ui/dialog_interaction.h"

#include <QString>

#include "ui/dialogs.h"

namespace ui {

namespace {

engine::NotReadyAnswer AskRetry(QWidget* parent, DialogInteraction::RetryStyle style,
                                const engine::DriveQuestion& question) {
  const bool ok = style == DialogInteraction::RetryStyle::OkCancel;
  const Button again = ok ? Ok : Retry;
  const Button b = CurrentDialogs().Message(parent, QStringLiteral("Informaiton"),
                                            QString::fromStdString(question.Text),
                                            ok ? MessageIcon::Information : MessageIcon::Warning, again | Cancel, again);
  return b == again ? engine::NotReadyAnswer::Retry : engine::NotReadyAnswer::Cancel;
}

}  // namespace

engine::NotReadyAnswer DialogInteraction::DriveNotReady(const engine::DriveQuestion& question) {
  return AskRetry(FParent, FStyle, question);
}

engine::NotReadyAnswer DialogInteraction::InsertDisc(const engine::DriveQuestion& question) {
  return AskRetry(FParent, FStyle, question);
}

engine::OverwriteAnswer DialogInteraction::OverwriteFile(const std::string& path) {
  const Button b = CurrentDialogs().Message(
      FParent, QStringLiteral("Confirm"),
      QStringLiteral("The file %1 already exists.\nDo you want to replace it?").arg(QString::fromStdString(path)),
      MessageIcon::Question, Yes | No | Cancel, No);
  if (b == Yes) return engine::OverwriteAnswer::Overwrite;
  if (b == No) return engine::OverwriteAnswer::Skip;
  return engine::OverwriteAnswer::Cancel;
}

void DialogInteraction::Notice(const engine::DriveNotice& notice) {
  const QString caption = notice.Kind == engine::NoticeKind::DriveNotReady ? QStringLiteral("Informaiton")
                                                                           : QStringLiteral("Information");
  CurrentDialogs().Message(FParent, caption, QString::fromStdString(notice.Text), MessageIcon::Information, Ok, Ok);
}

}  // namespace ui
