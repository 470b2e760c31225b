#pragma once
// What plays a sound file: Qt Multimedia on Linux, the system's wave player
// on Windows (the Qt built for it has no Multimedia). One file per OS.
#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace ui {

class SoundBackend {
 public:
  virtual ~SoundBackend() = default;
  // Starts `file` (absolute, an existing readable file). `failed` runs on
  // the caller's thread, at once or later, when it cannot be played.
  virtual void Play(const QString& file, std::function<void()> failed) = 0;
  virtual void PauseResume() = 0;
  virtual void Stop() = 0;
  virtual bool PlayingOrPaused() const = 0;
};

// The backend of this OS; its Qt objects are children of `owner`.
std::unique_ptr<SoundBackend> MakeSoundBackend(QObject* owner);

// A RIFF WAVE file's playing time, or nothing when `bytes` is not one
// (a missing "fmt " or "data" chunk, a chunk that runs past the end, no
// bytes per second).
struct WaveInfo {
  std::uint16_t Channels = 0;
  std::uint32_t SamplesPerSecond = 0;
  std::uint32_t DataBytes = 0;
  std::int64_t DurationMs = 0;
};
std::optional<WaveInfo> ReadWaveHeader(const QByteArray& bytes);

}  // namespace ui
