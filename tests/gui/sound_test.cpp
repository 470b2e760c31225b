// The wave header reader behind the Windows sound player: what it accepts
// decides between playing a file and telling the person it cannot.
#include <QTest>

#include "ui/sound_backend.h"

namespace {

QByteArray Le(std::uint32_t v, int bytes) {
  QByteArray out;
  for (int i = 0; i < bytes; ++i) out.append(char((v >> (8 * i)) & 0xff));
  return out;
}

QByteArray Chunk(const char* id, const QByteArray& body, std::uint32_t declared = 0xffffffff) {
  QByteArray out = QByteArray(id, 4) + Le(declared == 0xffffffff ? std::uint32_t(body.size()) : declared, 4) + body;
  if (body.size() % 2 == 1) out.append('\0');
  return out;
}

QByteArray Format(std::uint16_t channels, std::uint32_t rate, std::uint32_t bytesPerSecond, int size = 16) {
  QByteArray fmt = Le(1, 2) + Le(channels, 2) + Le(rate, 4) + Le(bytesPerSecond, 4) + Le(channels * 2u, 2) + Le(16, 2);
  return Chunk("fmt ", fmt.left(size));
}

QByteArray Riff(const QByteArray& chunks, const char* kind = "WAVE") {
  return "RIFF" + Le(std::uint32_t(4 + chunks.size()), 4) + QByteArray(kind, 4) + chunks;
}

}  // namespace

class SoundTest : public QObject {
  Q_OBJECT
 private slots:
  void waveHeader_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("durationMs");  // -1: not a wave the player takes
    const QByteArray second(176400, '\0');
    QTest::newRow("CD audio, one second") << Riff(Format(2, 44100, 176400) + Chunk("data", second)) << qint64(1000);
    // Other chunks before and between, one of odd size with its pad byte.
    QTest::newRow("LIST and odd chunk first")
        << Riff(Chunk("LIST", "INFOabc") + Format(1, 8000, 16000) + Chunk("fact", Le(4, 4)) +
                Chunk("data", QByteArray(8000, '\0')))
        << qint64(500);
    QTest::newRow("empty data") << Riff(Format(1, 8000, 16000) + Chunk("data", {})) << qint64(0);
    QTest::newRow("text") << QByteArray("this is no sound at all\n").repeated(50) << qint64(-1);
    QTest::newRow("too short") << QByteArray("RIFF\0\0\0", 7) << qint64(-1);
    QTest::newRow("RIFF but AVI") << Riff(Format(1, 8000, 16000) + Chunk("data", "ab"), "AVI ") << qint64(-1);
    QTest::newRow("data before fmt") << Riff(Chunk("data", "ab") + Format(1, 8000, 16000)) << qint64(-1);
    QTest::newRow("fmt cut short") << Riff(Format(1, 8000, 16000, 12) + Chunk("data", "ab")) << qint64(-1);
    QTest::newRow("no bytes per second") << Riff(Format(1, 8000, 0) + Chunk("data", "ab")) << qint64(-1);
    QTest::newRow("no channels") << Riff(Format(0, 8000, 16000) + Chunk("data", "ab")) << qint64(-1);
    QTest::newRow("no data chunk") << Riff(Format(1, 8000, 16000)) << qint64(-1);
    QTest::newRow("data runs past the end")
        << Riff(Format(1, 8000, 16000) + Chunk("data", "abcd", 0x7fffffff)) << qint64(-1);
    QTest::newRow("chunk size wraps") << Riff(Chunk("junk", "ab", 0xfffffff0) + Format(1, 8000, 16000)) << qint64(-1);
  }

  void waveHeader() {
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, durationMs);
    const std::optional<ui::WaveInfo> wave = ui::ReadWaveHeader(bytes);
    QCOMPARE(wave.has_value(), durationMs >= 0);
    if (wave) QCOMPARE(qint64(wave->DurationMs), durationMs);
  }
};

int RunSoundTests(int argc, char** argv) {
  SoundTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "sound_test.moc"
