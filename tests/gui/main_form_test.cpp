// The main window: editing a task through its controls, task files, drops.
#include <QTemporaryDir>
#include <QTest>

#include "app/main_form.h"
#include "gui/scripted_dialogs.h"
#include "ui/qt_dialogs.h"

class MainFormTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { ui::InitArtwork(); }
  void newTaskHasDatedRoot() {
    QTemporaryDir dir;
    app::TForm1 form(dir.path(), "3.9");
    QVERIFY(form.Task().Root != nullptr);
    QVERIFY(QString::fromStdString(form.Task().Root->Name).startsWith("My Disc "));
  }
};

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"
