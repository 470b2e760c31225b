#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/option_form.h"
#include "appcore/ini_file.h"
#include "engine/kavo_burner.h"
#include "platform/autostart.h"
#include "option_scripted_dialogs.h"

namespace {

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteText(const QString& path, const QByteArray& text) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(text);
}

std::string Key(const QString& file, const char* section, const char* key) {
  return appcore::IniFile(file.toStdString()).ReadString(section, key, "<missing>");
}

}  // namespace

class OptionFormTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> FDir;
  std::unique_ptr<OptionScriptedDialogs> FDialogs;
  std::unique_ptr<engine::TKavoBurner> FBurner;
  appcore::Options FOptions;

  QString Folder() const { return FDir->path(); }
  QString OptionFile() const { return QDir(Folder()).filePath(QStringLiteral("Option.ini")); }

  std::unique_ptr<app::TOptionForm> MakeForm() {
    FOptions = appcore::Options();
    auto form = std::make_unique<app::TOptionForm>(FOptions, *FBurner, Folder(), "");
    form->SetShippedSkinsFolder(QStringLiteral(ZANTIC_SHIPPED_SKINS));
    return form;
  }
  template <typename T>
  static T* Find(QWidget& form, const char* name) {
    T* w = form.findChild<T*>(QLatin1String(name));
    if (w == nullptr) qFatal("no control %s", name);
    return w;
  }

 private slots:
  void init() {
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    // The log-on entry goes to a scratch folder, never the tester's own.
    qputenv("XDG_CONFIG_HOME", QDir(Folder()).filePath(QStringLiteral("config")).toUtf8());
    FDialogs = std::make_unique<OptionScriptedDialogs>();
    FBurner = std::make_unique<engine::TKavoBurner>();
  }
  void cleanup() {
    qApp->setStyleSheet({});
    FBurner.reset();
    FDialogs.reset();
    FDir.reset();
  }

  void freshFolderShowsDefaultsAndAppliesThem() {
    auto form = MakeForm();
    QVERIFY(!Find<QCheckBox>(*form, "chkEjectNoDisc")->isChecked());
    QVERIFY(Find<QCheckBox>(*form, "chkEjectDone")->isChecked());
    QVERIFY(Find<QCheckBox>(*form, "chkTip")->isChecked());
    QCOMPARE(Find<QSpinBox>(*form, "edtBuffer")->value(), 6);
    QCOMPARE(Find<QSlider>(*form, "tkbBuffer")->value(), 6);
    QVERIFY(Find<QRadioButton>(*form, "rdbHide")->isChecked());
    QVERIFY(Find<QRadioButton>(*form, "rdbQuery")->isChecked());
    QVERIFY(Find<QRadioButton>(*form, "rdbDSS")->isChecked());
    QVERIFY(!Find<QCheckBox>(*form, "chkScheduleStart")->isChecked());
    QVERIFY(Find<QCheckBox>(*form, "chkScheduleDone")->isChecked());
    QVERIFY(Find<QRadioButton>(*form, "rdbColor")->isChecked());
    QCOMPARE(form->CurrentSkin(), QStringLiteral("devoir"));
    QCOMPARE(FBurner->CacheSize(), 6u * 1048576u);
    QVERIFY(FBurner->FinalizeDisc());
    // The shipped default skin is in force at once.
    QVERIFY(qApp->styleSheet().contains(QLatin1String("QPushButton")));
    QVERIFY(!QFile::exists(OptionFile()));
    QVERIFY(FDialogs->Messages.isEmpty());
  }

  void okSavesEveryPageAndCancelLeavesTheFileAlone() {
    auto form = MakeForm();
    form->show();
    Find<QCheckBox>(*form, "chkExit")->setChecked(true);
    Find<QCheckBox>(*form, "cCloseDisc")->setChecked(false);
    Find<QRadioButton>(*form, "rdbShow")->setChecked(true);
    Find<QRadioButton>(*form, "rdbCB")->setChecked(true);
    Find<QLineEdit>(*form, "edtCB")->setText(QStringLiteral("/tmp/done.wav"));
    Find<QRadioButton>(*form, "rdbGradient")->setChecked(true);
    FDialogs->Colors.push_back(QColor(0x11, 0x22, 0x33));
    Find<QAbstractButton>(*form, "btnTop")->click();
    Find<QSpinBox>(*form, "edtBuffer")->setValue(32);
    Find<QPushButton>(*form, "btnOK")->click();

    QVERIFY(!form->isVisible());
    QCOMPARE(Key(OptionFile(), "General", "Exit Program"), "1");
    QCOMPARE(Key(OptionFile(), "General", "Buffer"), "32");
    QCOMPARE(Key(OptionFile(), "General", "Version"), "<missing>");
    QCOMPARE(Key(OptionFile(), "Burning", "CloseDisc"), "0");
    QCOMPARE(Key(OptionFile(), "Burning", "CacheSize"), std::to_string(32u * 1048576u));
    QCOMPARE(Key(OptionFile(), "Schedule", "Diplay Window"), "1");
    QCOMPARE(Key(OptionFile(), "Schedule", "Hide Window"), "0");
    QCOMPARE(Key(OptionFile(), "Sound", "CB"), "1");
    QCOMPARE(Key(OptionFile(), "Sound", "DB"), "0");
    QCOMPARE(Key(OptionFile(), "Sound", "Sound_B"), "/tmp/done.wav");
    QCOMPARE(Key(OptionFile(), "Interface", "Gradian"), "1");
    QCOMPARE(Key(OptionFile(), "Interface", "Color"), "0");
    // 0x00BBGGRR
    QCOMPARE(Key(OptionFile(), "Interface", "BK_Start Color"), std::to_string(0x332211));
    QCOMPARE(Key(OptionFile(), "Interface", "Skin"), "devoir");
    QVERIFY(!FBurner->FinalizeDisc());
    QCOMPARE(FBurner->CacheSize(), 32u * 1048576u);

    // A new window reads it all back.
    auto again = MakeForm();
    QVERIFY(Find<QCheckBox>(*again, "chkExit")->isChecked());
    QVERIFY(Find<QRadioButton>(*again, "rdbShow")->isChecked());
    QVERIFY(Find<QRadioButton>(*again, "rdbCB")->isChecked());
    QVERIFY(Find<QRadioButton>(*again, "rdbGradient")->isChecked());
    QCOMPARE(Find<QSlider>(*again, "tkbBuffer")->value(), 32);

    // Cancel: the file stays as it was and the burner keeps its settings,
    // while values read live follow the edit.
    const QByteArray before = ReadAll(OptionFile());
    again->show();
    Find<QCheckBox>(*again, "chkExit")->setChecked(false);
    Find<QCheckBox>(*again, "cCloseDisc")->setChecked(true);
    Find<QPushButton>(*again, "btnCancel")->click();
    QVERIFY(!again->isVisible());
    QCOMPARE(ReadAll(OptionFile()), before);
    QVERIFY(!FOptions.ExitProgram);
    QVERIFY(!FBurner->FinalizeDisc());
    // Opened again, the window shows the edited values.
    again->show();
    QVERIFY(!Find<QCheckBox>(*again, "chkExit")->isChecked());
    // A box another window mirrors shows its current value when the window opens.
    again->hide();
    FOptions.TestWrite = true;
    again->show();
    QVERIFY(Find<QCheckBox>(*again, "cTestWrite")->isChecked());
  }

  void bufferSliderAndSpinBoxFollowEachOther() {
    WriteText(OptionFile(), "[General]\nBuffer=20\n");
    auto form = MakeForm();
    auto* spin = Find<QSpinBox>(*form, "edtBuffer");
    auto* slider = Find<QSlider>(*form, "tkbBuffer");
    QCOMPARE(spin->value(), 20);
    QCOMPARE(slider->value(), 20);
    // The box shows the number, drawn inside it (the text's place is the cursor's).
    form->ShowPage(app::TOptionForm::Page::General);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    auto* edit = spin->findChild<QLineEdit*>();
    edit->grab();
    QCOMPARE(edit->text(), QString::number(slider->value()));
    const QRect place = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    QVERIFY2(edit->rect().contains(place.center()), qPrintable(QStringLiteral("text at y %1, box 0-%2")
                                                                  .arg(place.y()).arg(edit->height())));
    QCOMPARE(FBurner->CacheSize(), 20u * 1048576u);
    slider->setValue(44);
    QCOMPARE(spin->value(), 44);
    spin->setFocus();
    QTest::keyClick(spin, Qt::Key_Down);
    QCOMPARE(slider->value(), 43);
    spin->setValue(1);
    QCOMPARE(slider->value(), 1);
    // The limits hold both ways.
    slider->setValue(99);
    QCOMPARE(spin->value(), 50);

    // Text that is no number falls back to the default, not a zero-sized cache.
    WriteText(OptionFile(), "[General]\nBuffer=lots\n");
    auto other = MakeForm();
    QCOMPARE(Find<QSlider>(*other, "tkbBuffer")->value(), 6);
    QCOMPARE(FBurner->CacheSize(), 6u * 1048576u);
  }

  void backgroundPictureThatCannotBeLoadedStopsOk() {
    WriteText(OptionFile(), "[General]\nExit Program=0\n");
    const QByteArray before = ReadAll(OptionFile());
    auto form = MakeForm();
    QString applied;
    int applies = 0;
    connect(form.get(), &app::TOptionForm::OptionsApplied, this, [&] { ++applies; });
    form->show();
    const QString missing = QDir(Folder()).filePath(QStringLiteral("gone.bmp"));
    Find<QCheckBox>(*form, "chkExit")->setChecked(true);
    Find<QCheckBox>(*form, "cTestWrite")->setChecked(true);
    Find<QRadioButton>(*form, "rdbImage")->setChecked(true);
    Find<QLineEdit>(*form, "edtImage")->setText(missing);
    Find<QPushButton>(*form, "btnOK")->click();

    QCOMPARE(FDialogs->Messages.size(), 1);
    QVERIFY2(FDialogs->Messages.first().contains(missing), qPrintable(FDialogs->Messages.first()));
    QVERIFY(FDialogs->Messages.first().startsWith(QLatin1String("Information: ")));
    QVERIFY(form->isVisible());
    QCOMPARE(ReadAll(OptionFile()), before);
    QCOMPARE(applies, 0);
    QVERIFY(Find<QCheckBox>(*form, "chkExit")->isChecked());
    QVERIFY(Find<QCheckBox>(*form, "cTestWrite")->isChecked());

    // A picture that loads lets OK through with everything the person set.
    const QString good = QDir(Folder()).filePath(QStringLiteral("good.bmp"));
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QVERIFY(picture.save(good, "BMP"));
    Find<QLineEdit>(*form, "edtImage")->setText(good);
    Find<QPushButton>(*form, "btnOK")->click();
    QVERIFY(!form->isVisible());
    QCOMPARE(applies, 1);
    QCOMPARE(Key(OptionFile(), "General", "Exit Program"), "1");
    QCOMPARE(Key(OptionFile(), "Burning", "TestWrite"), "1");
    QCOMPARE(Key(OptionFile(), "Interface", "BK_Image"), good.toStdString());

    // The start window's own loader is asked when there is one; a failure at
    // load is reported with the load message and the program goes on.
    WriteText(OptionFile(), QStringLiteral("[Interface]\nColor=0\nImage=1\nBK_Image=%1\n").arg(missing).toUtf8());
    FDialogs->Messages.clear();
    auto loaded = MakeForm();
    loaded->SetBackgroundApplier([&](const appcore::Options& o) {
      applied = QString::fromStdString(o.BkImage);
      return QStringLiteral("cannot load %1").arg(applied);
    });
    QCOMPARE(applied, missing);
    QCOMPARE(FDialogs->Messages,
             QStringList{QStringLiteral(
                 "Information: Can not open the background image. Please click Option to check it out.")});
  }

  void sessionNumberIsCheckedBeforeAnythingIsSaved() {
    auto form = MakeForm();
    form->show();
    Find<QCheckBox>(*form, "cImportSession")->setChecked(true);
    Find<QLineEdit>(*form, "eSession")->setText(QStringLiteral("abc"));
    Find<QPushButton>(*form, "btnOK")->click();
    QCOMPARE(FDialogs->Messages.size(), 1);
    QVERIFY(FDialogs->Messages.first().contains(QLatin1String("\"abc\"")));
    QVERIFY(!QFile::exists(OptionFile()));
    QVERIFY(form->isVisible());

    FDialogs->Messages.clear();
    Find<QLineEdit>(*form, "eSession")->setText(QStringLiteral(" 0 "));
    Find<QPushButton>(*form, "btnOK")->click();
    QCOMPARE(FDialogs->Messages,
             QStringList{QStringLiteral("Information: Session to import; Zero means not to import any session")});
    QVERIFY(!form->isVisible());
    QCOMPARE(Key(OptionFile(), "Burning", "SessionNo"), "0");
    QCOMPARE(int(FOptions.RunTime.SessionNumber), 0);

    form->show();
    Find<QLineEdit>(*form, "eSession")->setText(QStringLiteral("-1"));
    Find<QPushButton>(*form, "btnOK")->click();
    QCOMPARE(int(FOptions.RunTime.SessionNumber), -1);
    QVERIFY(FOptions.RunTime.ImportSession);
  }

  void skinChoiceAppliesToTheWholeApplication() {
    auto form = MakeForm();
    form->show();
    auto* list = Find<QListWidget>(*form, "ltbSkin");
    QCOMPARE(list->item(0)->text(), QStringLiteral("None"));
    QVERIFY(list->findItems(QStringLiteral("nocturne"), Qt::MatchExactly).size() == 1);
    QCOMPARE(list->currentItem()->text(), QStringLiteral("devoir"));
    const QString devoir = qApp->styleSheet();

    list->setCurrentRow(0);
    Find<QPushButton>(*form, "btnOK")->click();
    QVERIFY(qApp->styleSheet().isEmpty());
    QCOMPARE(Key(OptionFile(), "Interface", "Skin"), "None");

    form->show();
    QCOMPARE(list->currentItem()->text(), QStringLiteral("None"));
    list->setCurrentItem(list->findItems(QStringLiteral("nocturne"), Qt::MatchExactly).first());
    Find<QPushButton>(*form, "btnOK")->click();
    QVERIFY(!qApp->styleSheet().isEmpty());
    QVERIFY(qApp->styleSheet() != devoir);
    QCOMPARE(Key(OptionFile(), "Interface", "Skin"), "nocturne");
  }

  void skinsImportExportAndDelete() {
    auto form = MakeForm();
    form->show();
    auto* list = Find<QListWidget>(*form, "ltbSkin");
    const QString source = QDir(Folder()).filePath(QStringLiteral("outside/My.Blue.mskn"));
    QVERIFY(QDir().mkpath(QFileInfo(source).path()));
    WriteText(source, "QWidget { color: navy; }");

    FDialogs->Files.push_back(source);
    Find<QPushButton>(*form, "btnImport")->click();
    QVERIFY(FDialogs->Messages.isEmpty());
    const QString imported = QDir(Folder()).filePath(QStringLiteral("Skins/My.Blue.mskn"));
    QCOMPARE(ReadAll(imported), QByteArray("QWidget { color: navy; }"));
    QCOMPARE(list->findItems(QStringLiteral("My.Blue"), Qt::MatchExactly).size(), 1);

    // Never over an existing skin, and the person is told.
    WriteText(source, "QWidget { color: red; }");
    FDialogs->Files.push_back(source);
    Find<QPushButton>(*form, "btnImport")->click();
    QCOMPARE(FDialogs->Messages.size(), 1);
    QCOMPARE(ReadAll(imported), QByteArray("QWidget { color: navy; }"));

    // Export copies the selected skin and never overwrites.
    FDialogs->Messages.clear();
    list->setCurrentItem(list->findItems(QStringLiteral("My.Blue"), Qt::MatchExactly).first());
    const QString exported = QDir(Folder()).filePath(QStringLiteral("export.mskn"));
    FDialogs->Files.push_back(exported);
    Find<QPushButton>(*form, "btnExport")->click();
    QCOMPARE(ReadAll(exported), QByteArray("QWidget { color: navy; }"));
    FDialogs->Files.push_back(source);
    Find<QPushButton>(*form, "btnExport")->click();
    QCOMPARE(FDialogs->Messages.size(), 1);
    QCOMPARE(ReadAll(source), QByteArray("QWidget { color: red; }"));

    // Delete asks first; No keeps the file.
    FDialogs->Messages.clear();
    FDialogs->Answers.push_back(ui::No);
    Find<QPushButton>(*form, "btnDelete")->click();
    QCOMPARE(FDialogs->Messages, QStringList{QStringLiteral("Information: Are you sure to delete the skin?")});
    QVERIFY(QFile::exists(imported));
    FDialogs->Answers.push_back(ui::Yes);
    Find<QPushButton>(*form, "btnDelete")->click();
    QVERIFY(!QFile::exists(imported));
    QVERIFY(list->findItems(QStringLiteral("My.Blue"), Qt::MatchExactly).isEmpty());

    // A skin delivered with the program is not the person's to delete.
    FDialogs->Messages.clear();
    list->setCurrentItem(list->findItems(QStringLiteral("devoir"), Qt::MatchExactly).first());
    FDialogs->Answers.push_back(ui::Yes);
    Find<QPushButton>(*form, "btnDelete")->click();
    QCOMPARE(FDialogs->Messages.size(), 2);
    QVERIFY(QFile::exists(QStringLiteral(ZANTIC_SHIPPED_SKINS "/devoir.mskn")));
    QCOMPARE(list->findItems(QStringLiteral("devoir"), Qt::MatchExactly).size(), 1);
  }

  void showLogAndSoundTestReportWhatIsMissing() {
    auto form = MakeForm();
    form->show();
    Find<QPushButton>(*form, "btnShowLog")->click();
    QCOMPARE(FDialogs->Messages, QStringList{QStringLiteral("Information: No available LOG yet.")});

    FDialogs->Messages.clear();
    Find<QComboBox>(*form, "cmbSound")->setCurrentIndex(1);
    Find<QRadioButton>(*form, "rdbCE")->setChecked(true);
    Find<QLineEdit>(*form, "edtCE")->setText(QDir(Folder()).filePath(QStringLiteral("none.wav")));
    Find<QAbstractButton>(*form, "btnPlay")->click();
    const QString failed =
        QStringLiteral("Information: Can not play the sound file. Please make sure the file is correct.");
    QCOMPARE(FDialogs->Messages, QStringList{failed});

    // A file that is there but holds no sound: the media back end says so
    // later, and the person hears of it then.
    FDialogs->Messages.clear();
    const QString noise = QDir(Folder()).filePath(QStringLiteral("notes.wav"));
    WriteText(noise, QByteArray("this is no sound at all\n").repeated(50));
    Find<QLineEdit>(*form, "edtCE")->setText(noise);
    Find<QAbstractButton>(*form, "btnPlay")->click();
    QTRY_COMPARE_WITH_TIMEOUT(FDialogs->Messages, QStringList{failed}, 10000);
    // Closing the window stops the player.
    form->close();
  }

  // The scheduled start's command line: a file under XDG_CONFIG_HOME here,
  // a value of the Run key on Windows; empty when there is none.
  static QString AutostartCommand() {
#ifdef _WIN32
    const QSettings run(QString::fromStdString(platform::AutostartEntryPath("Zantic Schedule")).section('\\', 0, -2),
                        QSettings::NativeFormat);
    return run.value(QStringLiteral("Zantic Schedule")).toString();
#else
    return QString::fromUtf8(ReadAll(QString::fromStdString(platform::AutostartEntryPath("Zantic Schedule"))));
#endif
  }

  void autostartEntryFollowsTheTaskList() {
    auto form = MakeForm();
    form->show();
#ifndef _WIN32
    // Never the desktop's own autostart folder.
    QVERIFY(QString::fromStdString(platform::AutostartEntryPath("Zantic Schedule")).startsWith(Folder()));
#endif
    Find<QCheckBox>(*form, "chkAutoExe")->setChecked(true);
    Find<QPushButton>(*form, "btnOK")->click();
    // No scheduled task: no entry.
    QVERIFY(!platform::AutostartEntryExists("Zantic Schedule"));

    QVERIFY(QDir().mkpath(QDir(Folder()).filePath(QStringLiteral("Schedule"))));
    WriteText(QDir(Folder()).filePath(QStringLiteral("Schedule/ScheduleList.ini")),
              "[Count]\nValue=1\n[Task]\nTask0=Nightly\n");
    form->show();
    Find<QPushButton>(*form, "btnOK")->click();
    QVERIFY(platform::AutostartEntryExists("Zantic Schedule"));
    QVERIFY2(AutostartCommand().contains(QStringLiteral("-Schedule")), qPrintable(AutostartCommand()));

    form->show();
    Find<QCheckBox>(*form, "chkAutoExe")->setChecked(false);
    Find<QPushButton>(*form, "btnOK")->click();
    QVERIFY(!platform::AutostartEntryExists("Zantic Schedule"));
  }
};

int RunOptionFormTests(int argc, char** argv) {
  OptionFormTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "option_form_test.moc"
