#pragma once
// The one player the windows share for completion sounds and the options
// window's sound test. An empty file name means the desktop's beep.
#include <QObject>
#include <QString>

#include <memory>

#include "appcore/options.h"

namespace ui {

class SoundBackend;

class SoundPlayer : public QObject {
  Q_OBJECT
 public:
  explicit SoundPlayer(QObject* parent = nullptr);
  ~SoundPlayer() override;

  // Stops what plays, then plays `file` (or beeps when it is empty). A file
  // that cannot be opened or played is reported through Failed, at once or
  // when the media back end finds out.
  void Play(const QString& file);
  void PauseResume();
  void Stop();
  bool PlayingOrPaused() const;

 signals:
  void Failed(const QString& file);

 private:
  std::unique_ptr<SoundBackend> FBackend;
  QString FFile;
};

// The sound for `event` as the options say: nothing when it is off, the
// beep for "Default", else the custom file. Failures are not reported.
void PlayEventSound(const appcore::Options& options, appcore::SoundEvent event, SoundPlayer& player);
// The file the sound test plays for `event`: the custom file when "Custom"
// is chosen, else empty (the beep).
QString EventSoundFile(const appcore::SoundOptions& sound);

}  // namespace ui
