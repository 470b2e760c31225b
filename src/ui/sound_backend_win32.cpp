#include <windows.h>
#include <mmsystem.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include "ui/sound_backend.h"

namespace ui {

namespace {

// Completion sounds are short; a larger file is not read into memory.
constexpr qint64 kMaxWaveBytes = 64LL * 1024 * 1024;

// PlaySound plays a wave held in memory, asynchronously, and can only stop:
// pausing stops it, resuming starts it again from the beginning.
class WaveBackend final : public SoundBackend {
 public:
  explicit WaveBackend(QObject* owner) : FOwner(owner) {}
  ~WaveBackend() override { Stop(); }

  void Play(const QString& file, std::function<void()> failed) override {
    Stop();
    FBytes.clear();
    QFile in(file);
    std::optional<WaveInfo> wave;
    if (in.size() <= kMaxWaveBytes && in.open(QIODevice::ReadOnly)) {
      FBytes = in.readAll();
      wave = ReadWaveHeader(FBytes);
    }
    if (!wave || !Start()) {
      FBytes.clear();
      // As the media player does: the failure is told after Play returns.
      QTimer::singleShot(0, FOwner, [failed = std::move(failed)] {
        if (failed) failed();
      });
      return;
    }
    FDurationMs = wave->DurationMs;
  }

  void PauseResume() override {
    if (FBytes.isEmpty()) return;
    if (FPaused) {
      FPaused = !Start();
    } else if (Playing()) {
      PlaySoundW(nullptr, nullptr, 0);
      FPaused = true;
    }
  }

  void Stop() override {
    if (!FBytes.isEmpty()) PlaySoundW(nullptr, nullptr, 0);
    FPaused = false;
    FStarted.invalidate();
  }

  bool PlayingOrPaused() const override { return FPaused || Playing(); }

 private:
  bool Start() {
    // SND_MEMORY reads the buffer while it plays: FBytes stays until Stop.
    const auto* data = reinterpret_cast<const wchar_t*>(FBytes.constData());
    if (!PlaySoundW(data, nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT)) return false;
    FStarted.start();
    return true;
  }
  bool Playing() const { return FStarted.isValid() && FStarted.elapsed() < FDurationMs; }

  QObject* FOwner;
  QByteArray FBytes;
  QElapsedTimer FStarted;
  std::int64_t FDurationMs = 0;
  bool FPaused = false;
};

}  // namespace

std::unique_ptr<SoundBackend> MakeSoundBackend(QObject* owner) { return std::make_unique<WaveBackend>(owner); }

}  // namespace ui
