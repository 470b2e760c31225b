// zantic-screens <folder>: shows every window of the program with a fresh
// program folder and saves a PNG of each into <folder>. A window whose
// captions are cut off (narrower than they need) is reported and makes the
// run fail. Each window adds itself with one line in Shots() below.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "app/option_form.h"
#include "appcore/options.h"
#include "engine/kavo_burner.h"
#include "platform/program_folder.h"

namespace {

// What the windows need, made once.
struct Program {
  QString Folder = QString::fromStdString(platform::ProgramFolder());
  engine::TKavoBurner Burner;
  appcore::Options Options;
  std::unique_ptr<app::TOptionForm> OptionForm;

  Program() {
    OptionForm = std::make_unique<app::TOptionForm>(Options, Burner, Folder, "");
  }
  // Makes `name` the skin of the whole program, as OK in the options does.
  void UseSkin(const QString& name) {
    const QString file = name == QLatin1String(ui::kNoSkin) ? QString() : OptionForm->Skins().FileOf(name);
    if (name != QLatin1String(ui::kNoSkin) && file.isEmpty()) qFatal("no skin %s", qPrintable(name));
    ui::ApplySkinFile(file);
  }
};

struct Shot {
  const char* Name;
  std::function<QWidget*(Program&)> Show;  // returns the window to grab, shown
};

QWidget* OptionsPage(Program& p, app::TOptionForm::Page page) {
  p.OptionForm->ShowPage(page);
  p.OptionForm->show();
  return p.OptionForm.get();
}

QWidget* OptionsPageWithSkin(Program& p, app::TOptionForm::Page page, const char* skin) {
  p.UseSkin(QLatin1String(skin));
  return OptionsPage(p, page);
}

std::vector<Shot> Shots() {
  using Page = app::TOptionForm::Page;
  return {
      {"options-general", [](Program& p) { return OptionsPageWithSkin(p, Page::General, "devoir"); }},
      {"options-burning", [](Program& p) { return OptionsPage(p, Page::Burning); }},
      {"options-schedule", [](Program& p) { return OptionsPage(p, Page::Schedule); }},
      {"options-sound", [](Program& p) { return OptionsPage(p, Page::Sound); }},
      {"options-interface", [](Program& p) { return OptionsPage(p, Page::Interface); }},
      {"skin-nocturne-options-general", [](Program& p) { return OptionsPageWithSkin(p, Page::General, "nocturne"); }},
      {"skin-nocturne-options-sound", [](Program& p) { return OptionsPage(p, Page::Sound); }},
      {"skin-nocturne-options-interface", [](Program& p) { return OptionsPage(p, Page::Interface); }},
      {"skin-none-options-schedule", [](Program& p) { return OptionsPageWithSkin(p, Page::Schedule, "None"); }},
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
  Program program;
  int failures = 0;
  for (const Shot& shot : Shots()) {
    QWidget* window = shot.Show(program);
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
  return failures == 0 ? 0 : 1;
}
