#pragma once
// The engine's questions (drive not ready, insert a disc, overwrite a file)
// answered by the person with message boxes. It runs on the window's thread;
// an operation on a worker asks through engine::DispatchedInteraction
// wrapped around it.
#include "engine/interaction.h"

class QWidget;

namespace ui {

class DialogInteraction final : public engine::Interaction {
 public:
  // `parent` is the window the boxes belong to; it may be null.
  explicit DialogInteraction(QWidget* parent = nullptr) : FParent(parent) {}
  void SetParent(QWidget* parent) { FParent = parent; }

  // Retry / Cancel with a warning icon, caption "Informaiton".
  engine::NotReadyAnswer DriveNotReady(const engine::DriveQuestion& question) override;
  engine::NotReadyAnswer InsertDisc(const engine::DriveQuestion& question) override;
  // Yes: replace, No: keep the existing file and go on, Cancel: stop.
  engine::OverwriteAnswer OverwriteFile(const std::string& path) override;

 private:
  QWidget* FParent;
};

}  // namespace ui
