// The main window driven through its controls: folders, drops from the
// source panes and as file URLs, the name list and size bar, Cut/Paste, task
// files with the save question, renames, and editing blocked while loading.
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QFileSystemModel>
#include <QLocale>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "app/burning_form.h"
#include "app/main_form.h"
#include "appcore/task_tree.h"
#include "gui/gui_helpers.h"
#include "gui/scripted_dialogs.h"
#include "ui/qt_dialogs.h"
#include "ui/size_bar.h"

using guitest::Click;
using guitest::Find;
using guitest::Rows;
using guitest::Trigger;

namespace {

constexpr qint64 kMiB = 1048576;

QString Sized(qint64 bytes) {
  return QString::fromStdString(appcore::FormatSize(bytes, QLocale().groupSeparator().toStdString()));
}

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir FDir;
  QString FSource;  // a folder of sources to drop

  QString Make(const QString& relative, qint64 size) {
    const QString path = FSource + "/" + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.resize(size);  // sparse: large sizes cost nothing
    return path;
  }

  // Dropped paths as the name list shows them: backslashes on Windows.
  static QStringList Native(QStringList paths) {
    for (QString& p : paths) p = QDir::toNativeSeparators(p);
    return paths;
  }

  static QTreeWidget& Tree(app::TForm1& form) { return *Find<QTreeWidget>(form, "trvDir"); }
  static QAbstractItemModel& Names(app::TForm1& form) { return *Find<QTreeView>(form, "clbox")->model(); }
  static QTreeWidgetItem* Root(app::TForm1& form) { return Tree(form).topLevelItem(0); }

  static void Select(app::TForm1& form, QTreeWidgetItem* item) { Tree(form).setCurrentItem(item); }
  static void SelectRows(app::TForm1& form, const QList<int>& rows) {
    QTreeView* view = Find<QTreeView>(form, "clbox");
    view->clearSelection();
    for (int row : rows)
      view->selectionModel()->select(view->model()->index(row, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  static void DropUrls(app::TForm1& form, const QStringList& paths, const QObject* source = nullptr) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    mime.setUrls(urls);
    QVERIFY(form.clBoxDragOver(&mime, source));
    QVERIFY(form.clBoxDragDrop(&mime, source));
    QVERIFY(guitest::WaitIdle(form));
  }
  static QString TaskText(app::TForm1& form) { return QString::fromStdString(appcore::BuildTaskText(*form.Task().Root)); }

 private slots:
  void initTestCase() {
    ui::InitArtwork();
    QVERIFY(FDir.isValid());
    FSource = FDir.filePath("src");
    QVERIFY(!Make("photos/p1.jpg", 100 * kMiB).isEmpty());
    QVERIFY(!Make("photos/deep/p2.jpg", 1000).isEmpty());
    QVERIFY(!Make("big.bin", 2525 * kMiB).isEmpty());
    QVERIFY(!Make("docs/a.txt", 1234).isEmpty());
    QVERIFY(!Make("docs/empty.txt", 0).isEmpty());
  }

  // The whole road: folders, drops, name list, size bar, Cut/Paste, Save,
  // New with each answer, Open.
  void assembleSaveAndReopenTask() {
    guitest::ScriptedDialogs dialogs;
    app::TForm1 form(FDir.path(), "3.9");
    form.show();
    Click(form, "btnNew");
    QVERIFY(dialogs.Log.empty());  // nothing to save yet

    Select(form, Root(form));
    Trigger(form, "CustomItem7");
    Trigger(form, "CustomItem7");
    QCOMPARE(guitest::Children(Root(form)), (QStringList{"New_Folder_0", "New_Folder_1"}));
    QCOMPARE(form.NewFolderCount(), 2);
    QVERIFY(form.Modified());
    QTreeWidgetItem* folder0 = Root(form)->child(0);
    QTreeWidgetItem* folder1 = Root(form)->child(1);

    // From the folder pane, as its model offers the drag.
    Select(form, folder0);
    QTreeView* dirlist = Find<QTreeView>(form, "Dirlist");
    auto* dirModel = qobject_cast<QFileSystemModel*>(dirlist->model());
    QVERIFY(dirModel != nullptr);
    const QModelIndex photos = dirModel->index(FSource + "/photos");
    QVERIFY(photos.isValid());
    std::unique_ptr<QMimeData> fromPane(dirModel->mimeData({photos}));
    QVERIFY(form.clBoxDragOver(fromPane.get(), dirlist));
    QVERIFY(form.clBoxDragDrop(fromPane.get(), dirlist));
    QVERIFY(guitest::WaitIdle(form));
    // As file URLs from the desktop's file manager.
    DropUrls(form, {FSource + "/big.bin", FSource + "/docs/a.txt", FSource + "/docs/empty.txt"});

    QCOMPARE(Rows(Names(form)), Native({FSource + "/photos", FSource + "/big.bin", FSource + "/docs/a.txt",
                                        FSource + "/docs/empty.txt"}));
    QCOMPARE(Rows(Names(form), 1), (QStringList{Sized(100 * kMiB + 1000), Sized(2525 * kMiB), Sized(1234), ""}));
    // 2625 MB is half the scale: 484.5 pixels, rounded to the even 484.
    QCOMPARE(form.SizeBar().BarWidth(), 484);
    QCOMPARE(form.SizeBar().toolTip(), QString("2625 MB"));

    // Cut two rows and paste them into the other folder.
    SelectRows(form, {1, 2});
    Click(form, "btnCut");
    Select(form, folder1);
    QVERIFY(Rows(Names(form)).isEmpty());
    Click(form, "btnPaste");
    QCOMPARE(Rows(Names(form)), Native({FSource + "/big.bin", FSource + "/docs/a.txt"}));
    Select(form, folder0);
    QCOMPARE(Rows(Names(form)), Native({FSource + "/photos", FSource + "/docs/empty.txt"}));
    // A second paste does nothing until the next Cut or Copy.
    Select(form, folder1);
    Click(form, "btnPaste");
    QCOMPARE(Names(form).rowCount(), 2);

    const QString saved = FDir.filePath("whole");
    dialogs.Files.push_back(saved);  // no extension: ".mvt" is added
    Click(form, "btnSave");
    QVERIFY(guitest::WaitSaved(form));
    QVERIFY(!form.Modified());
    const QString text = ReadText(saved + ".mvt");
    QVERIFY(text.endsWith(")#\r\n"));
    QCOMPARE(text.chopped(2), TaskText(form));
    QCOMPARE(dialogs.Log.back().Text, QString("Mervil Task File (*.mvt)"));

    // New: Cancel keeps everything, No throws the change away, Yes saves.
    Select(form, Root(form));
    Trigger(form, "CustomItem7");
    const QString edited = TaskText(form);
    dialogs.Answers = {ui::Cancel};
    Click(form, "btnNew");
    QCOMPARE(TaskText(form), edited);
    QVERIFY(form.Modified());
    const guitest::Asked& question = dialogs.Log.back();
    QCOMPARE(question.Caption, QString("Query"));
    QCOMPARE(question.Text, QString("The task has been changed, save it?"));
    QCOMPARE(question.Buttons, ui::Yes | ui::No | ui::Cancel);
    QVERIFY(question.Icon == ui::MessageIcon::Question);

    dialogs.Answers = {ui::Yes};
    dialogs.Files = {FDir.filePath("edited.mvt")};
    Click(form, "btnNew");
    QVERIFY(guitest::WaitSaved(form));
    QCOMPARE(ReadText(FDir.filePath("edited.mvt")).chopped(2), edited);
    QCOMPARE(Root(form)->childCount(), 0);
    QCOMPARE(form.NewFolderCount(), 0);
    QCOMPARE(form.SizeBar().BarWidth(), 0);
    QVERIFY(!form.Modified());

    Trigger(form, "CustomItem7");
    QCOMPARE(Root(form)->child(0)->text(0), QString("New_Folder_0"));
    dialogs.Answers = {ui::No};
    Click(form, "btnNew");
    QCOMPARE(Root(form)->childCount(), 0);
    QVERIFY(!form.Modified());

    dialogs.Files = {saved + ".mvt"};
    Click(form, "btnOpen");
    QVERIFY(guitest::WaitIdle(form));
    QCOMPARE(TaskText(form), text.chopped(2));
    QCOMPARE(guitest::Children(Root(form)), (QStringList{"New_Folder_0", "New_Folder_1"}));
    QVERIFY(Root(form)->isExpanded());
    QCOMPARE(form.SizeBar().BarWidth(), 484);
    QVERIFY(!form.Modified());
    QCOMPARE(dialogs.Unanswered, 0);
  }

  // Two folders of one name, and one file dropped twice, stay apart.
  void sameTextsKeepTheirOwnNodes() {
    guitest::ScriptedDialogs dialogs;
    app::TForm1 form(FDir.path(), "3.9");
    Select(form, Root(form));
    Trigger(form, "CustomItem7");
    Trigger(form, "CustomItem7");
    Root(form)->child(0)->setText(0, "Same");
    Root(form)->child(1)->setText(0, "Same");
    Select(form, Root(form)->child(1));
    DropUrls(form, {FSource + "/docs/a.txt", FSource + "/docs/a.txt"});
    const appcore::TaskNode& root = *form.Task().Root;
    QCOMPARE(root.Children[0]->Children.size(), std::size_t{0});
    QCOMPARE(root.Children[1]->Children.size(), std::size_t{2});

    // Removing the second of two equal rows removes that one.
    const appcore::TaskNode* first = root.Children[1]->Children[0].get();
    SelectRows(form, {1});
    Trigger(form, "CustomItem2");
    QCOMPARE(root.Children[1]->Children.size(), std::size_t{1});
    QCOMPARE(root.Children[1]->Children[0].get(), first);

    // Removing the second folder leaves the first.
    Select(form, Root(form)->child(1));
    Trigger(form, "CustomItem9");
    QCOMPARE(root.Children.size(), std::size_t{1});
    QCOMPARE(root.Children[0]->Children.size(), std::size_t{0});
    QCOMPARE(form.SizeBar().BarWidth(), 0);
    // The root cannot be removed.
    Select(form, Root(form));
    Trigger(form, "CustomItem9");
    QCOMPARE(Tree(form).topLevelItemCount(), 1);
  }

  // A rename reaches the data at once, and names the plain format cannot
  // carry read back as the same folders.
  void renamesApplyAtOnceAndSurviveSaving() {
    guitest::ScriptedDialogs dialogs;
    app::TForm1 form(FDir.path(), "3.9");
    Select(form, Root(form));
    for (int i = 0; i < 4; ++i) Trigger(form, "CustomItem7");
    const QStringList names{"a*b", "x(y)", ")lead", "plain"};
    for (int i = 0; i < 4; ++i) Root(form)->child(i)->setText(0, names[i]);
    QCOMPARE(QString::fromStdString(form.Task().Root->Children[0]->Name), QString("a*b"));
    QVERIFY(form.Modified());
    // Straight after the rename, a drop lands in the renamed folder.
    Select(form, Root(form)->child(1));
    DropUrls(form, {FSource + "/docs/a.txt"});
    QCOMPARE(form.Task().Root->Children[1]->Children.size(), std::size_t{1});
    // An empty name is refused: the folder keeps its name.
    Root(form)->child(3)->setText(0, "  ");
    QCOMPARE(Root(form)->child(3)->text(0), QString("plain"));
    QCOMPARE(QString::fromStdString(form.Task().Root->Children[3]->Name), QString("plain"));
    Root(form)->setText(0, "Backup (daily)");

    const QString path = FDir.filePath("names.mvt");
    dialogs.Files = {path, path};
    Click(form, "btnSave");
    QVERIFY(guitest::WaitSaved(form));
    const QString before = TaskText(form);
    Click(form, "btnNew");
    Click(form, "btnOpen");
    QVERIFY(guitest::WaitIdle(form));
    QCOMPARE(TaskText(form), before);
    QCOMPARE(Root(form)->text(0), QString("Backup (daily)"));
    QCOMPARE(guitest::Children(Root(form)), names);
    for (const auto& child : form.Task().Root->Children) QVERIFY(!child->IsItem());
    Select(form, Root(form)->child(1));
    QCOMPARE(Rows(Names(form)), Native({FSource + "/docs/a.txt"}));
  }

  void removeAllCopyAndPasteKeepTheRightTotals() {
    guitest::ScriptedDialogs dialogs;
    app::TForm1 form(FDir.path(), "3.9");
    Select(form, Root(form));
    Trigger(form, "CustomItem7");
    Trigger(form, "CustomItem7");
    Select(form, Root(form)->child(0));
    DropUrls(form, {FSource + "/big.bin"});
    Select(form, Root(form)->child(1));
    DropUrls(form, {FSource + "/photos"});
    QCOMPARE(form.SizeBar().toolTip(), QString("2625 MB"));
    // Copy leaves the source rows; the bar is recomputed only by the next
    // action that sums the task.
    Select(form, Root(form)->child(0));
    SelectRows(form, {0});
    Click(form, "btnCopy");
    Select(form, Root(form)->child(1));
    Click(form, "btnPaste");
    QCOMPARE(Names(form).rowCount(), 2);
    QCOMPARE(form.SizeBar().toolTip(), QString("2625 MB"));
    Select(form, Root(form)->child(0));
    QCOMPARE(Names(form).rowCount(), 1);
    // Remove All empties only the selected folder; the other stays counted.
    Select(form, Root(form)->child(1));
    Trigger(form, "CustomItem3");
    QCOMPARE(Names(form).rowCount(), 0);
    QCOMPARE(form.SizeBar().toolTip(), QString("2525 MB"));
    // Cut, then the folder it came from goes: the paste brings nothing back.
    Select(form, Root(form)->child(0));
    SelectRows(form, {0});
    Click(form, "btnCut");
    Trigger(form, "CustomItem9");
    Select(form, Root(form));
    Click(form, "btnPaste");
    QCOMPARE(Names(form).rowCount(), 0);
    // Nothing selected: Cut, Copy and Remove do nothing.
    Click(form, "btnCut");
    Trigger(form, "CustomItem2");
    QCOMPARE(form.Task().Root->Children.size(), std::size_t{1});
  }

  void openingKeepsTaskOnEmptyOrDamagedFiles() {
    guitest::ScriptedDialogs dialogs;
    app::TForm1 form(FDir.path(), "3.9");
    Select(form, Root(form));
    Trigger(form, "CustomItem7");
    const QString before = TaskText(form);
    QFile empty(FDir.filePath("empty.mvt"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QFile damaged(FDir.filePath("damaged.mvt"));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("My Disc(Docs(");
    damaged.close();
    dialogs.Files = {empty.fileName(), damaged.fileName(), FDir.filePath("missing.mvt")};
    for (int i = 0; i < 3; ++i) {
      Click(form, "btnOpen");
      QVERIFY(guitest::WaitIdle(form));
      QCOMPARE(TaskText(form), before);
      QVERIFY(form.Modified());
    }
    QCOMPARE(dialogs.MessageTexts().size(), 2);
    QCOMPARE(dialogs.MessageTexts()[0], QString("The task file ends in the middle of a folder"));
    QVERIFY(dialogs.MessageTexts()[1].contains("missing.mvt"));
    // A cancelled dialog changes nothing either.
    Click(form, "btnOpen");
    QCOMPARE(TaskText(form), before);
  }

  // While a task loads, the window takes no edits.
  void noEditingWhileLoading() {
    guitest::ScriptedDialogs dialogs;
    app::TForm1 form(FDir.path(), "3.9");
    std::string text = "Big(";
    for (int f = 0; f < 200; ++f) {
      text += "F" + std::to_string(f) + "(";
      for (int i = 0; i < 500; ++i) text += "/data/file" + std::to_string(i) + "*1,000()#";
      text += ")#";
    }
    text += ")#\r\n";
    QFile file(FDir.filePath("big.mvt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
    file.close();
    form.OpenTaskFile(file.fileName());
    QVERIFY(form.Busy());
    QVERIFY(!Find<QAction>(form, "CustomItem7")->isEnabled());
    QVERIFY(!Find<QAction>(form, "btnNew")->isEnabled());
    QVERIFY(!Tree(form).isEnabled());
    Trigger(form, "CustomItem7");
    form.btnNewClick();
    QVERIFY(guitest::WaitIdle(form));
    QVERIFY(Find<QAction>(form, "CustomItem7")->isEnabled());
    QCOMPARE(Root(form)->childCount(), 200);
    QCOMPARE(form.Task().Root->Children[199]->Children.size(), std::size_t{500});
    QCOMPARE(form.SizeBar().toolTip(), QString("95 MB"));
    QVERIFY(dialogs.Log.empty());

    // A load that is cancelled leaves the task as it was.
    Click(form, "btnNew");
    form.OpenTaskFile(file.fileName());
    form.CancelBusy();
    QVERIFY(!form.Busy());
    // The next load waits for the cancelled read, whose result therefore
    // arrives first: an empty file changes nothing.
    QFile empty(FDir.filePath("empty.mvt"));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    form.OpenTaskFile(empty.fileName());
    QVERIFY(guitest::WaitIdle(form));
    QCOMPARE(Root(form)->childCount(), 0);
  }

  void dropsRefusedOrCancelledAddNothing() {
    guitest::ScriptedDialogs dialogs;
    app::TForm1 form(FDir.path(), "3.9");
    QMimeData remote;
    remote.setUrls({QUrl("https://example.org/a.txt")});
    QVERIFY(!form.clBoxDragOver(&remote, nullptr));
    QVERIFY(!form.clBoxDragDrop(&remote, nullptr));
    QMimeData local;
    local.setUrls({QUrl::fromLocalFile(FSource + "/photos")});
    // Rows dragged inside the window move by Cut and Paste, not by drops.
    QVERIFY(!form.clBoxDragOver(&local, Find<QTreeView>(form, "clbox")));
    QVERIFY(!form.clBoxDragOver(&local, &Tree(form)));
    QMimeData text;
    text.setText(FSource + "/photos");
    QVERIFY(!form.clBoxDragOver(&text, nullptr));

    QVERIFY(form.clBoxDragDrop(&local, nullptr));
    QVERIFY(form.Busy());
    // No second drop while the first is measured.
    QVERIFY(!form.clBoxDragOver(&local, nullptr));
    form.CancelBusy();
    QVERIFY(!form.Busy());
    QCoreApplication::sendPostedEvents();  // whatever the stopped walk posted
    QCOMPARE(Names(form).rowCount(), 0);
    QVERIFY(form.Task().Root->Children.empty());
    QVERIFY(!form.Modified());
    QVERIFY(Find<QAction>(form, "CustomItem7")->isEnabled());
  }

  // The file gets the task as it was at Save; what changes while it is
  // written stays unsaved, and a failed write leaves the task unsaved too.
  void saveWritesASnapshotAndKeepsLaterEdits() {
    guitest::ScriptedDialogs dialogs;
    app::TForm1 form(FDir.path(), "3.9");
    Trigger(form, "CustomItem7");
    const QString atSave = TaskText(form);
    dialogs.Files = {FDir.filePath("snap.mvt")};
    Click(form, "btnSave");
    QVERIFY(form.Saving());
    // No second save over the first.
    Click(form, "btnSave");
    QCOMPARE(dialogs.Unanswered, 0);
    Trigger(form, "CustomItem7");
    QVERIFY(form.Modified());
    QVERIFY(guitest::WaitSaved(form));
    QCOMPARE(ReadText(FDir.filePath("snap.mvt")).chopped(2), atSave);
    QVERIFY(TaskText(form) != atSave);
    QVERIFY(form.Modified());

    dialogs.Files = {FDir.filePath("no/such/folder/x.mvt")};
    dialogs.Answers = {ui::Ok};
    Click(form, "btnSave");
    QVERIFY(guitest::WaitSaved(form));
    QVERIFY(form.Modified());
    QVERIFY(dialogs.MessageTexts().back().contains("no/such/folder"));

    // Closing with Yes closes only once the file is written.
    dialogs.Answers = {ui::Yes};
    dialogs.Files = {FDir.filePath("closing.mvt")};
    bool closed = false;
    QVERIFY(!form.FormCloseQuery([&closed] { closed = true; }));
    QVERIFY(guitest::WaitSaved(form));
    QTRY_VERIFY_WITH_TIMEOUT(closed, 10000);
    QCOMPARE(ReadText(FDir.filePath("closing.mvt")).chopped(2), TaskText(form));
    QVERIFY(form.FormCloseQuery());
  }

  // A close asked for while the task is being written comes back once the
  // file is written; files added for one operation leave the task unmodified.
  void aCloseWhileSavingComesBackAndOperationFilesLeaveNoChange() {
    guitest::ScriptedDialogs dialogs;
    app::TForm1 form(FDir.path(), "3.9");
    form.show();
    Trigger(form, "CustomItem7");
    dialogs.Files = {FDir.filePath("first.mvt")};
    Click(form, "btnSave");
    form.close();
    QVERIFY(form.isVisible());
    QVERIFY(guitest::WaitSaved(form));
    QTRY_VERIFY(!form.isVisible());

    app::TBurningForm& d = form.BurningForm();
    d.Setup("BuildISO");
    d.edtISO->setText(FDir.filePath("out.iso"));
    d.chkAutoRun->setChecked(true);
    d.edtAutoRun->setText(FSource + "/docs/a.txt");
    d.rdbCustom->setChecked(true);
    d.edtIcon->setText(FDir.filePath("no-such-icon.ico"));
    dialogs.Answers = {ui::Ok};
    d.btnStartBurnClick();  // the missing icon takes back the program added
    QCOMPARE(dialogs.MessageTexts(), QStringList{"The icon file you enter does not exists."});
    QVERIFY(!form.Modified());
  }

  void closingAsksOnlyWithChanges() {
    guitest::ScriptedDialogs dialogs;
    app::TForm1 form(FDir.path(), "3.9");
    QVERIFY(form.FormCloseQuery());
    QVERIFY(dialogs.Log.empty());
    Trigger(form, "CustomItem7");
    dialogs.Answers = {ui::Cancel, ui::Yes, ui::No};
    dialogs.Files = {""};  // Yes, then the save dialog is cancelled
    QVERIFY(!form.FormCloseQuery());
    QVERIFY(!form.FormCloseQuery());
    QVERIFY(form.Modified());
    QVERIFY(form.FormCloseQuery());
    QVERIFY(!form.Modified());
  }
};

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"
