#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "ui/skins.h"

namespace {

void Put(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write %s", qPrintable(path));
  f.write(bytes);
}

}  // namespace

class SkinTest : public QObject {
  Q_OBJECT
 private slots:
  void namesComeFromBothFoldersOnceEach() {
    QTemporaryDir dir;
    const QString user = dir.filePath(QStringLiteral("user")), shipped = dir.filePath(QStringLiteral("shipped"));
    Put(user + "/zeta.mskn", "QWidget{}");
    Put(user + "/devoir.mskn", "QWidget{color:red}");
    Put(user + "/notes.txt", "not a skin");
    Put(shipped + "/devoir.mskn", "QWidget{color:blue}");
    Put(shipped + "/Alpha.v2.mskn", "QWidget{}");
    Put(shipped + "/None.mskn", "QWidget{}");
    const ui::SkinStore store(user, shipped);
    QCOMPARE(store.Names(), (QStringList{"None", "Alpha.v2", "devoir", "zeta"}));
    // A dotted name keeps its dots, so it finds its own file.
    QCOMPARE(store.FileOf("Alpha.v2"), shipped + "/Alpha.v2.mskn");
    // The person's copy wins over the shipped one of the same name.
    QCOMPARE(store.FileOf("devoir"), user + "/devoir.mskn");
    QVERIFY(!store.IsShipped("devoir"));
    QVERIFY(store.IsShipped("Alpha.v2"));
    QVERIFY(store.FileOf("None").isEmpty());
    QVERIFY(store.FileOf("../shipped/devoir").isEmpty());
    // Missing folders list nothing but "None".
    QCOMPARE(ui::SkinStore(dir.filePath("x"), QString()).Names(), QStringList{"None"});
  }

  void importRefusesWhatIsNoSkin() {
    QTemporaryDir dir;
    const QString user = dir.filePath(QStringLiteral("user"));
    const ui::SkinStore store(user, QString());
    Put(dir.filePath("big.mskn"), QByteArray(int(ui::kMaxSkinBytes) + 1, 'a'));
    Put(dir.filePath("binary.mskn"), QByteArray("QWidget\0{}", 10));
    Put(dir.filePath("plain.css"), "QWidget{}");
    Put(dir.filePath("None.mskn"), "QWidget{}");
    for (const char* name : {"big.mskn", "binary.mskn", "plain.css", "None.mskn", "missing.mskn"})
      QVERIFY2(!store.Import(dir.filePath(name)).isEmpty(), name);
    QCOMPARE(store.Names(), QStringList{"None"});
    // The folder is made on the first import.
    Put(dir.filePath("ok.mskn"), "QWidget{}");
    QCOMPARE(store.Import(dir.filePath("ok.mskn")), QString());
    QVERIFY(QFile::exists(user + "/ok.mskn"));
    QCOMPARE(store.Delete("ok"), QString());
    QVERIFY(!QFile::exists(user + "/ok.mskn"));
    QVERIFY(!store.Delete("ok").isEmpty());  // gone already
  }

  void applyingAFileThatCannotBeReadKeepsTheCurrentSkin() {
    QTemporaryDir dir;
    Put(dir.filePath("a.mskn"), "QLabel { color: green; }");
    QCOMPARE(ui::ApplySkinFile(dir.filePath("a.mskn")), QString());
    QCOMPARE(qApp->styleSheet(), QStringLiteral("QLabel { color: green; }"));
    QVERIFY(!ui::ApplySkinFile(dir.filePath("missing.mskn")).isEmpty());
    QCOMPARE(qApp->styleSheet(), QStringLiteral("QLabel { color: green; }"));
    QCOMPARE(ui::ApplySkinFile(QString()), QString());
    QVERIFY(qApp->styleSheet().isEmpty());
  }
};

int RunSkinTests(int argc, char** argv) {
  SkinTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "skins_test.moc"
