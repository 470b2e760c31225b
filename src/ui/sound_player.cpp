#include "ui/sound_player.h"

#include <QApplication>
#include <QFileInfo>

#include "ui/sound_backend.h"

namespace ui {

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent), FBackend(MakeSoundBackend(this)) {}

SoundPlayer::~SoundPlayer() = default;

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
  FBackend->Play(info.absoluteFilePath(), [this, file] { emit Failed(file); });
}

void SoundPlayer::PauseResume() { FBackend->PauseResume(); }

void SoundPlayer::Stop() { FBackend->Stop(); }

bool SoundPlayer::PlayingOrPaused() const { return FBackend->PlayingOrPaused(); }

QString EventSoundFile(const appcore::SoundOptions& sound) {
  return sound.UseCustom ? QString::fromStdString(sound.File) : QString();
}

void PlayEventSound(const appcore::Options& options, appcore::SoundEvent event, SoundPlayer& player) {
  const appcore::SoundOptions& sound = options.Sound(event);
  if (!sound.Enabled) return;
  player.Play(sound.UseDefault ? QString() : QString::fromStdString(sound.File));
}

namespace {

std::uint32_t Le32(const QByteArray& b, qsizetype at) {
  const auto* p = reinterpret_cast<const unsigned char*>(b.constData()) + at;
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::uint16_t Le16(const QByteArray& b, qsizetype at) {
  const auto* p = reinterpret_cast<const unsigned char*>(b.constData()) + at;
  return std::uint16_t(p[0] | p[1] << 8);
}

}  // namespace

std::optional<WaveInfo> ReadWaveHeader(const QByteArray& bytes) {
  if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") return std::nullopt;
  WaveInfo info;
  std::uint32_t bytesPerSecond = 0;
  bool haveFormat = false;
  qsizetype at = 12;
  // Chunks: a four-letter id, a 32-bit size, the body padded to even size.
  while (bytes.size() - at >= 8) {
    const QByteArray id = bytes.mid(at, 4);
    const std::uint32_t size = Le32(bytes, at + 4);
    const qsizetype body = at + 8;
    if (qint64(size) > qint64(bytes.size() - body)) return std::nullopt;
    if (id == "fmt ") {
      if (size < 16) return std::nullopt;
      info.Channels = Le16(bytes, body + 2);
      info.SamplesPerSecond = Le32(bytes, body + 4);
      bytesPerSecond = Le32(bytes, body + 8);
      haveFormat = true;
    } else if (id == "data") {
      if (!haveFormat || bytesPerSecond == 0 || info.Channels == 0) return std::nullopt;
      info.DataBytes = size;
      info.DurationMs = std::int64_t(size) * 1000 / bytesPerSecond;
      return info;
    }
    at = body + qsizetype(size) + qsizetype(size & 1);
  }
  return std::nullopt;
}

}  // namespace ui
