#pragma once
// The engine's questions (drive not ready, insert a disc, overwrite a file)
// answered by the person with message boxes, and its notices shown in them. It runs on the window's thread;
// an operation on a worker asks through engine::DispatchedInteraction
// wrapped around it.
#include "engine/interaction.h"

class QWidget;

namespace ui {

class DialogInteraction final : public engine::Interaction {
 public:
  // How "try again" is offered: Retry / Cancel with a warning icon, or, for
  // a scheduled run, OK / Cancel with an information icon.
  enum class RetryStyle { RetryCancel, OkCancel };
  // `parent` is the window the boxes belong to; it may be null.
  explicit DialogInteraction(QWidget* parent = nullptr, RetryStyle style = RetryStyle::RetryCancel)
      : FParent(parent), FStyle(style) {}
  void SetParent(QWidget* parent) { FParent = parent; }

  // Caption "Informaiton", buttons as the style says.
  engine::NotReadyAnswer DriveNotReady(const engine::DriveQuestion& question) override;
  engine::NotReadyAnswer InsertDisc(const engine::DriveQuestion& question) override;
  // Yes: replace, No: keep the existing file and go on, Cancel: stop.
  engine::OverwriteAnswer OverwriteFile(const std::string& path) override;
  // An information box with OK; captioned "Informaiton" for a drive not
  // ready, as the readiness question is, else "Information".
  void Notice(const engine::DriveNotice& notice) override;

 private:
  QWidget* FParent;
  RetryStyle FStyle;
};

}  // namespace ui
