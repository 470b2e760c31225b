#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>

#include "ui/sound_backend.h"

namespace ui {

namespace {

class MediaBackend final : public SoundBackend {
 public:
  explicit MediaBackend(QObject* owner) : FOwner(owner) {}
  // The player goes first, so that nothing it says on its way reaches this.
  ~MediaBackend() override {
    delete FPlayer;
    delete FOutput;
  }

  void Play(const QString& file, std::function<void()> failed) override {
    EnsurePlayer();
    FFailed = std::move(failed);
    FPlayer->setSource(QUrl::fromLocalFile(file));
    FPlayer->play();
  }

  void PauseResume() override {
    if (FPlayer == nullptr) return;
    if (FPlayer->playbackState() == QMediaPlayer::PlayingState)
      FPlayer->pause();
    else if (FPlayer->playbackState() == QMediaPlayer::PausedState)
      FPlayer->play();
  }

  void Stop() override {
    if (FPlayer != nullptr && FPlayer->playbackState() != QMediaPlayer::StoppedState) FPlayer->stop();
  }

  bool PlayingOrPaused() const override {
    return FPlayer != nullptr && FPlayer->playbackState() != QMediaPlayer::StoppedState;
  }

 private:
  // The media back end is loaded on the first custom sound, not at start-up.
  void EnsurePlayer() {
    if (FPlayer != nullptr) return;
    // Qt 6.4's GStreamer back end crashes when a GStreamer element it expects
    // is not installed; the FFmpeg one needs nothing beyond the Qt packages.
    // It is chosen when the first player is made, so only here.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    FPlayer = new QMediaPlayer(FOwner);
    FOutput = new QAudioOutput(FOwner);
    FPlayer->setAudioOutput(FOutput);
    QObject::connect(FPlayer, &QMediaPlayer::errorOccurred, FOwner, [this](QMediaPlayer::Error error, const QString&) {
      if (error != QMediaPlayer::NoError && FFailed) FFailed();
    });
    QObject::connect(FPlayer, &QMediaPlayer::mediaStatusChanged, FOwner, [this](QMediaPlayer::MediaStatus status) {
      if (status == QMediaPlayer::InvalidMedia && FFailed) FFailed();
    });
  }

  QObject* FOwner;
  QMediaPlayer* FPlayer = nullptr;
  QAudioOutput* FOutput = nullptr;
  std::function<void()> FFailed;
};

}  // namespace

std::unique_ptr<SoundBackend> MakeSoundBackend(QObject* owner) { return std::make_unique<MediaBackend>(owner); }

}  // namespace ui
