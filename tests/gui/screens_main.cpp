// zantic-screens <folder>: shows every window of the program with a fresh
// program folder and saves a PNG of each into <folder>. A window whose
// captions are cut off (narrower than they need) is reported and makes the
// run fail. Each window adds itself with one line in Shots() below.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QLinearGradient>
#include <QMimeData>
#include <QPainter>
#include <QTest>
#include <QUrl>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "app/burning_form.h"
#include "app/main_form.h"
#include "app/option_form.h"
#include "app/program.h"
#include "app/start_form.h"
#include "appcore/options.h"
#include "platform/program_folder.h"
#include "ui/dialogs.h"
#include "ui/skins.h"

namespace {

// The program as it starts, with a fresh program folder.
struct Screens {
  QString Folder = QString::fromStdString(platform::ProgramFolder());
  app::Program Program{Folder, {}};

  app::TOptionForm& Options() { return Program.OptionForm(); }
  appcore::Options& Values() { return Program.MainForm().Options(); }

  // Makes `name` the skin of the whole program, as OK in the options does.
  void UseSkin(const char* name) {
    const QString skin = QLatin1String(name);
    const QString file = skin == QLatin1String(ui::kNoSkin) ? QString() : Options().Skins().FileOf(skin);
    if (skin != QLatin1String(ui::kNoSkin) && file.isEmpty()) qFatal("no skin %s", name);
    ui::ApplySkinFile(file);
  }
  QWidget* Start(bool color, bool gradient, bool image) {
    appcore::Options& o = Values();
    o.BackgroundColor = color;
    o.BackgroundGradient = gradient;
    o.BackgroundImage = image;
    if (image) o.BkImage = BackgroundPicture().toStdString();
    const QString error = Program.StartForm().ApplyBackground(o);
    if (!error.isEmpty()) qFatal("%s", qPrintable(error));
    Program.StartForm().show();
    return &Program.StartForm();
  }
  // A picture of our own for the image background.
  QString BackgroundPicture() const {
    QDir().mkpath(Folder);
    const QString file = QDir(Folder).filePath(QStringLiteral("background.png"));
    QImage image(522, 414, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 414);
    sky.setColorAt(0, QColor("#0b3d63"));
    sky.setColorAt(0.6, QColor("#3f8fc4"));
    sky.setColorAt(1, QColor("#f2b45a"));
    p.fillRect(image.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 60));
    for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(420 - i * 70, 90 + i * 35), 60 - i * 8, 60 - i * 8);
    p.end();
    if (!image.save(file, "PNG")) qFatal("cannot write %s", qPrintable(file));
    return file;
  }
  QWidget* MainWithTask() {
    app::TForm1& main = Program.MainForm();
    if (!main.Task().OnlyRoot()) {
      main.show();
      return &main;
    }
    main.ShowForJob(app::TForm1::Job::Burn);
    {
      QMimeData mime;
      mime.setUrls({QUrl::fromLocalFile(QStringLiteral(ZANTIC_EXAMPLES))});
      if (!main.clBoxDragDrop(&mime, nullptr)) qFatal("the examples could not be dropped");
      QElapsedTimer waited;
      waited.start();
      while (main.Busy() && waited.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return &main;
  }
  QWidget* About() {
    auto* action = Program.MainForm().findChild<QAction*>(QStringLiteral("btnAbout"));
    if (action == nullptr) qFatal("no about action");
    action->trigger();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == QLatin1String("TAboutForm") && w->isVisible()) return w;
    qFatal("no about box");
  }
  // The burn dialog set up for `mode`, before Start.
  QWidget* Burning(const char* mode) {
    app::TBurningForm& dialog = Program.MainForm().BurningForm();
    dialog.Setup(QLatin1String(mode));
    dialog.show();
    return &dialog;
  }
  // The progress view as a burn leaves it: the log of a run, then its end.
  QWidget* BurningEnded(const char* error) {
    app::TForm1& main = Program.MainForm();
    app::TBurningForm& dialog = main.BurningForm();
    dialog.Setup(QStringLiteral("Burn"));
    for (QWidget* w : {static_cast<QWidget*>(dialog.gpbPreference), static_cast<QWidget*>(dialog.gpbOption),
                       static_cast<QWidget*>(dialog.btnCancel)})
      w->hide();
    dialog.gpbProgress->setTitle(QStringLiteral("Progress and Log - Burning ") + dialog.edtLabel->text());
    dialog.gpbProgress->show();
    dialog.memo1->clear();
    main.AddLogLine(QStringLiteral(">>> ") + main.windowTitle(), QColor(0, 0, 128));
    main.AddLogLine(QStringLiteral(">>> Zantic - burns CD and DVD discs"), QColor(0, 0, 128));
    main.AddLogLine(QStringLiteral(">>> 10:00:00 Drive is ready."), QColor(0, 128, 0));
    main.AddLogLine(QStringLiteral(">>> 10:00:01 Start burning CD(DVD) on ZANTIC  VIRTUAL RECORDER"), QColor(0, 0, 255));
    main.FOperation = QStringLiteral("Burn");
    main.kavobWriteDone(error);
    dialog.show();
    return &dialog;
  }
  QWidget* OptionsPage(app::TOptionForm::Page page) {
    Options().ShowPage(page);
    Options().show();
    return &Options();
  }
};

// No window may ask anything while the pictures are taken: a message is
// printed and counted, and the default answer keeps the run going.
struct NoDialogs final : ui::Dialogs {
  int Messages = 0;
  ui::Button Message(QWidget*, const QString& caption, const QString& text, ui::MessageIcon, ui::Buttons,
                     ui::Button defaultButton) override {
    std::fprintf(stderr, "unexpected message: %s: %s\n", qPrintable(caption), qPrintable(text));
    ++Messages;
    return defaultButton;
  }
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QStringList OpenFileNames(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString ExistingDirectory(QWidget*, const QString&, const QString&) override { return {}; }
  QColor Color(QWidget*, const QColor&, const QString&) override { return {}; }
  bool TextInput(QWidget*, const QString&, const QString&, const QString&, QString&) override { return false; }
};

struct Shot {
  const char* Name;
  std::function<QWidget*(Screens&)> Show;  // returns the window to grab, shown
};

std::vector<Shot> Shots() {
  using Page = app::TOptionForm::Page;
  return {
      {"start-color", [](Screens& s) { s.UseSkin("devoir"); return s.Start(true, false, false); }},
      {"start-gradient", [](Screens& s) { return s.Start(false, true, false); }},
      {"start-image", [](Screens& s) { return s.Start(false, false, true); }},
      {"main-task", [](Screens& s) { return s.MainWithTask(); }},
      {"burn-mode-burn", [](Screens& s) { return s.Burning("Burn"); }},
      {"burn-mode-buildiso", [](Screens& s) { return s.Burning("BuildISO"); }},
      {"burn-mode-burniso", [](Screens& s) { return s.Burning("BurnISO"); }},
      {"burn-mode-copy", [](Screens& s) { return s.Burning("Copy"); }},
      {"burn-log-success", [](Screens& s) { return s.BurningEnded(""); }},
      {"burn-log-error", [](Screens& s) { return s.BurningEnded("WRITE ERROR"); }},
      {"about", [](Screens& s) { return s.About(); }},
      {"options-general", [](Screens& s) { return s.OptionsPage(Page::General); }},
      {"options-burning", [](Screens& s) { return s.OptionsPage(Page::Burning); }},
      {"options-schedule", [](Screens& s) { return s.OptionsPage(Page::Schedule); }},
      {"options-sound", [](Screens& s) { return s.OptionsPage(Page::Sound); }},
      {"options-interface", [](Screens& s) { return s.OptionsPage(Page::Interface); }},
      {"skin-nocturne-main-task", [](Screens& s) { s.UseSkin("nocturne"); return s.MainWithTask(); }},
      {"skin-nocturne-about", [](Screens& s) { return s.About(); }},
      {"skin-nocturne-options-general", [](Screens& s) { return s.OptionsPage(Page::General); }},
      {"skin-nocturne-options-sound", [](Screens& s) { return s.OptionsPage(Page::Sound); }},
      {"skin-nocturne-options-interface", [](Screens& s) { return s.OptionsPage(Page::Interface); }},
      {"skin-none-main-task", [](Screens& s) { s.UseSkin("None"); return s.MainWithTask(); }},
      {"skin-none-options-schedule", [](Screens& s) { return s.OptionsPage(Page::Schedule); }},
  };
}

// Captions that do not fit: a visible button or one-line label narrower than
// its text needs.
QStringList CutOff(QWidget* window) {
  QStringList found;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisible()) continue;
    QString text;
    if (auto* b = qobject_cast<QAbstractButton*>(w))
      text = b->text();
    else if (auto* l = qobject_cast<QLabel*>(w); l != nullptr && !l->wordWrap())
      text = l->text();
    else if (auto* g = qobject_cast<QGroupBox*>(w))
      text = g->title();
    if (text.isEmpty()) continue;
    if (w->width() < w->minimumSizeHint().width() || w->height() < w->minimumSizeHint().height())
      found << QStringLiteral("%1 \"%2\" is %3x%4, needs %5x%6")
                   .arg(w->objectName(), text)
                   .arg(w->width())
                   .arg(w->height())
                   .arg(w->minimumSizeHint().width())
                   .arg(w->minimumSizeHint().height());
  }
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: zantic-screens <folder>\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!QDir().mkpath(out.path())) {
    std::fprintf(stderr, "zantic-screens: cannot make %s\n", argv[1]);
    return 1;
  }
  NoDialogs dialogs;
  ui::SetDialogs(&dialogs);
  Screens screens;
  int failures = 0;
  for (const Shot& shot : Shots()) {
    QWidget* window = shot.Show(screens);
    if (!QTest::qWaitForWindowExposed(window, 5000)) std::fprintf(stderr, "%s: window not exposed\n", shot.Name);
    QTest::qWait(150);  // let layouts and style sheets settle
    const QString file = out.filePath(QLatin1String(shot.Name) + QStringLiteral(".png"));
    if (!window->grab().save(file, "PNG")) {
      std::fprintf(stderr, "%s: cannot save %s\n", shot.Name, qPrintable(file));
      ++failures;
    }
    for (const QString& problem : CutOff(window)) {
      std::fprintf(stderr, "%s: cut off: %s\n", shot.Name, qPrintable(problem));
      ++failures;
    }
    std::printf("%s\n", qPrintable(file));
    window->hide();
  }
  failures += dialogs.Messages;
  ui::SetDialogs(nullptr);
  return failures == 0 ? 0 : 1;
}
