// Disc icons as the burn dialog loads them: an executable's first icon
// (stored as a bitmap or as PNG), icon and picture files stretched to the
// 32 x 32 preview, the .ico written for autorun.inf, and files that are
// none of these.
#include <QBuffer>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTemporaryDir>
#include <fstream>

#include "support/pe_builder.h"
#include "ui/exe_icon.h"

namespace {

QString WriteBytes(const QTemporaryDir& dir, const QString& name, const std::vector<std::uint8_t>& bytes) {
  const QString path = dir.filePath(name);
  std::ofstream(path.toStdString(), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::vector<std::uint8_t> PngOf(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

class ExeIconTest : public QObject {
  Q_OBJECT
 private slots:
  void firstIconOfAnExecutableIsTheOneClosestTo32() {
    QTemporaryDir dir;
    testsupport::PeRecipe recipe;
    recipe.Icons.push_back({1, 16, 16, 32, testsupport::IconDib(16, 0xFFFF0000)});  // blue
    recipe.Icons.push_back({2, 32, 32, 32, testsupport::IconDib(32, 0xFF00FF00)});  // green
    const QString exe = WriteBytes(dir, "setup.exe", testsupport::BuildPe(recipe).Bytes);
    QImage icon;
    QString error;
    QCOMPARE(ui::FirstIconOfExecutable(exe, icon, error), ui::IconLoad::Ok);
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(QColor(icon.pixel(5, 5)), QColor(0, 255, 0));
  }

  void pngIconsOfAnExecutable() {
    QTemporaryDir dir;
    QImage red(64, 64, QImage::Format_ARGB32);
    red.fill(QColor(255, 0, 0));
    testsupport::PeRecipe recipe;
    recipe.Icons.push_back({1, 64, 64, 32, PngOf(red)});
    const QString exe = WriteBytes(dir, "big.exe", testsupport::BuildPe(recipe).Bytes);
    QImage icon;
    QString error;
    QCOMPARE(ui::FirstIconOfExecutable(exe, icon, error), ui::IconLoad::Ok);
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(QColor(icon.pixel(16, 16)), QColor(255, 0, 0));
  }

  // An executable made by a real toolchain, where mingw-w64 is installed.
  void iconOfAnExecutableLinkedByMingw() {
    const QString windres = QStandardPaths::findExecutable("x86_64-w64-mingw32-windres");
    const QString gcc = QStandardPaths::findExecutable("x86_64-w64-mingw32-gcc");
    if (windres.isEmpty() || gcc.isEmpty()) QSKIP("mingw-w64 is not installed");
    QTemporaryDir dir;
    QImage magenta(48, 48, QImage::Format_ARGB32);
    magenta.fill(QColor(255, 0, 255));
    QString error;
    QVERIFY2(ui::SaveAsIco(magenta, dir.filePath("app.ico"), error), qPrintable(error));
    std::ofstream(dir.filePath("app.rc").toStdString()) << "1 ICON \"app.ico\"\n";
    std::ofstream(dir.filePath("main.c").toStdString()) << "int main(void) { return 0; }\n";
    auto run = [&](const QString& program, const QStringList& args) {
      QProcess p;
      p.setWorkingDirectory(dir.path());
      p.start(program, args);
      return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    };
    QVERIFY(run(windres, {"-O", "coff", "-o", "res.o", "app.rc"}));
    QVERIFY(run(gcc, {"-o", "app.exe", "main.c", "res.o"}));
    QImage icon;
    QCOMPARE(ui::FirstIconOfExecutable(dir.filePath("app.exe"), icon, error), ui::IconLoad::Ok);
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(QColor(icon.pixel(16, 16)), QColor(255, 0, 255));
  }

  void executablesWithoutIconsAndFilesThatAreNone() {
    QTemporaryDir dir;
    testsupport::PeRecipe bare;
    bare.WithResources = false;
    QImage icon(8, 8, QImage::Format_ARGB32);
    QString error;
    QCOMPARE(ui::FirstIconOfExecutable(WriteBytes(dir, "bare.exe", testsupport::BuildPe(bare).Bytes), icon, error),
             ui::IconLoad::NoIcon);
    QVERIFY(icon.isNull());
    QVERIFY(!error.isEmpty());
    const std::string text = "echo hello";
    QCOMPARE(ui::FirstIconOfExecutable(WriteBytes(dir, "script.exe", {text.begin(), text.end()}), icon, error),
             ui::IconLoad::NotAnIcon);
    QVERIFY(!error.isEmpty());
    // A group whose picture is no image Qt can decode.
    testsupport::PeRecipe junk;
    junk.Icons.push_back({1, 32, 32, 32, std::vector<std::uint8_t>(300, 0xEE)});
    QCOMPARE(ui::FirstIconOfExecutable(WriteBytes(dir, "junk.exe", testsupport::BuildPe(junk).Bytes), icon, error),
             ui::IconLoad::NotAnIcon);
    QCOMPARE(ui::FirstIconOfExecutable(dir.filePath("absent.exe"), icon, error), ui::IconLoad::NotAnIcon);
  }

  void iconAndPictureFilesBecomeThePreview() {
    QTemporaryDir dir;
    // A bitmap of another shape is stretched, not cut.
    QImage wide(100, 20, QImage::Format_RGB32);
    wide.fill(QColor(0, 0, 255));
    const QString bmp = dir.filePath("logo.bmp");
    QVERIFY(wide.save(bmp, "BMP"));
    QImage icon;
    QString error;
    QCOMPARE(ui::LoadIconFile(bmp, icon, error), ui::IconLoad::Ok);
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(QColor(icon.pixel(0, 31)), QColor(0, 0, 255));

    // SaveAsIco writes a 32 x 32 icon that reads back as one, under ".icon" too.
    const QString ico = dir.filePath("icon.ico");
    QVERIFY2(ui::SaveAsIco(wide, ico, error), qPrintable(error));
    QImageReader check(ico, "ico");
    QCOMPARE(check.read().size(), QSize(32, 32));
    QVERIFY(QFile::copy(ico, dir.filePath("copy.icon")));
    QCOMPARE(ui::LoadIconFile(dir.filePath("copy.icon"), icon, error), ui::IconLoad::Ok);
    QCOMPARE(QColor(icon.pixel(10, 10)), QColor(0, 0, 255));

    // Garbage under both extensions, a missing file, a folder as target.
    const std::vector<std::uint8_t> junk(500, 0x42);
    QCOMPARE(ui::LoadIconFile(WriteBytes(dir, "bad.ico", junk), icon, error), ui::IconLoad::NotAnIcon);
    QVERIFY(!error.isEmpty());
    QCOMPARE(ui::LoadIconFile(WriteBytes(dir, "bad.bmp", junk), icon, error), ui::IconLoad::NotAnIcon);
    QCOMPARE(ui::LoadIconFile(dir.filePath("none.ico"), icon, error), ui::IconLoad::NotAnIcon);
    QVERIFY(icon.isNull());
    QVERIFY(!ui::SaveAsIco(wide, dir.path(), error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!ui::SaveAsIco(QImage(), dir.filePath("empty.ico"), error));
  }

  void aFailedSaveKeepsTheEarlierIcon() {
    QTemporaryDir dir;
    const QString ico = dir.filePath("icon.ico");
    QImage green(32, 32, QImage::Format_ARGB32);
    green.fill(QColor(0, 255, 0));
    QString error;
    QVERIFY(ui::SaveAsIco(green, ico, error));
    const qint64 before = QFileInfo(ico).size();
    QVERIFY(!ui::SaveAsIco(QImage(), ico, error));
    QCOMPARE(QFileInfo(ico).size(), before);
  }
};

QTEST_MAIN(ExeIconTest)
#include "exe_icon_test.moc"
