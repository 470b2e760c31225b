// Saves a PNG of each window of the program, for people to look at:
//   zantic_grab_windows OUT_FOLDER SOURCE_FOLDER
// The main window shows a task with SOURCE_FOLDER's entries dropped into a
// folder. Runs on any Qt platform (offscreen included).
#include <QApplication>
#include <QDir>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>
#include <cstdio>

#include "app/about_form.h"
#include "app/main_form.h"
#include "app/program.h"
#include "app/start_form.h"
#include "gui/gui_helpers.h"
#include "ui/qt_dialogs.h"

namespace {

bool Save(QWidget& window, const QString& path) {
  window.show();
  QTest::qWait(200);  // a picture: animations and late layouts come to rest, which nothing signals
  if (window.grab().save(path)) {
    std::printf("%s\n", qPrintable(path));
    return true;
  }
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: zantic_grab_windows OUT_FOLDER SOURCE_FOLDER\n");
    return 2;
  }
  ui::InitArtwork();
  const QString out = QString::fromLocal8Bit(argv[1]);
  const QString source = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
  QDir().mkpath(out);
  QTemporaryDir home;
  app::Program program(home.path(), {});
  bool ok = true;

  app::TStartForm& start = program.StartForm();
  appcore::Options options;
  ok &= Save(start, out + "/start-color.png");
  options.BackgroundColor = false;
  options.BackgroundGradient = true;
  start.ApplyBackground(options);
  ok &= Save(start, out + "/start-gradient.png");
  QImage picture(522, 414, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) picture.setPixelColor(x, y, QColor((x * 255) / 522, 180, (y * 255) / 414));
  picture.save(home.filePath("back.bmp"));
  options.BackgroundGradient = false;
  options.BackgroundImage = true;
  options.BkImage = home.filePath("back.bmp").toStdString();
  start.ApplyBackground(options);
  ok &= Save(start, out + "/start-image.png");
  start.hide();

  app::TForm1& form = program.MainForm();
  form.PlaceToolbars(app::TForm1::Job::Burn);
  form.show();
  auto* tree = form.findChild<QTreeWidget*>("trvDir");
  tree->setCurrentItem(tree->topLevelItem(0));
  form.CustomItem7Click();
  form.CustomItem7Click();
  tree->setCurrentItem(tree->topLevelItem(0)->child(0));
  QMimeData mime;
  QList<QUrl> urls;
  for (const QFileInfo& entry : QDir(source).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot))
    urls << QUrl::fromLocalFile(entry.absoluteFilePath());
  mime.setUrls(urls);
  form.clBoxDragDrop(&mime, nullptr);
  guitest::WaitIdle(form);
  ok &= Save(form, out + "/main-task.png");
  form.PlaceToolbars(app::TForm1::Job::ISO);
  ok &= Save(form, out + "/main-iso.png");

  guitest::Click(form, "btnAbout");
  if (auto* about = form.findChild<app::TAboutForm*>("TAboutForm")) ok &= Save(*about, out + "/about.png");
  return ok ? 0 : 1;
}
