#include "ui/sound_player.h"

#include <QApplication>
#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QUrl>

namespace ui {

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {}

SoundPlayer::~SoundPlayer() = default;

// The media back end is loaded on the first custom sound, not at start-up.
void SoundPlayer::EnsurePlayer() {
  if (FPlayer != nullptr) return;
  // Qt 6.4's GStreamer back end crashes when a GStreamer element it expects
  // is not installed; the FFmpeg one needs nothing beyond the Qt packages.
  // It is chosen when the first player is made, so only here.
  if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "ffmpeg");
  FPlayer = new QMediaPlayer(this);
  FOutput = new QAudioOutput(this);
  FPlayer->setAudioOutput(FOutput);
  connect(FPlayer, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error, const QString&) {
    if (error != QMediaPlayer::NoError) emit Failed(FFile);
  });
  connect(FPlayer, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
    if (status == QMediaPlayer::InvalidMedia) emit Failed(FFile);
  });
}

void SoundPlayer::Play(const QString& file) {
  Stop();
  FFile = file;
  if (file.isEmpty()) {
    QApplication::beep();
    return;
  }
  const QFileInfo info(file);
  if (!info.isFile() || !info.isReadable()) {
    emit Failed(file);
    return;
  }
  EnsurePlayer();
  FPlayer->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
  FPlayer->play();
}

void SoundPlayer::PauseResume() {
  if (FPlayer == nullptr) return;
  if (FPlayer->playbackState() == QMediaPlayer::PlayingState)
    FPlayer->pause();
  else if (FPlayer->playbackState() == QMediaPlayer::PausedState)
    FPlayer->play();
}

void SoundPlayer::Stop() {
  if (FPlayer != nullptr && FPlayer->playbackState() != QMediaPlayer::StoppedState) FPlayer->stop();
}

bool SoundPlayer::PlayingOrPaused() const {
  return FPlayer != nullptr && FPlayer->playbackState() != QMediaPlayer::StoppedState;
}

QString EventSoundFile(const appcore::SoundOptions& sound) {
  return sound.UseCustom ? QString::fromStdString(sound.File) : QString();
}

void PlayEventSound(const appcore::Options& options, appcore::SoundEvent event, SoundPlayer& player) {
  const appcore::SoundOptions& sound = options.Sound(event);
  if (!sound.Enabled) return;
  player.Play(sound.UseDefault ? QString() : QString::fromStdString(sound.File));
}

}  // namespace ui
