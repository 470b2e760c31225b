#include <QApplication>
#include <QDateTime>
#include <algorithm>
#include <string>
#include <vector>

#include "app/program.h"
#include "platform/program_folder.h"
#include "ui/qt_dialogs.h"
#include "vdrive/registration.h"

int main(int argc, char** argv) {
  const qint64 started = QDateTime::currentMSecsSinceEpoch();
  // Read before Qt takes its own options out of argv.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const bool selfTest = std::find(arguments.begin(), arguments.end(), "--self-test") != arguments.end();

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Zantic"));
  QApplication::setApplicationDisplayName(QStringLiteral("Zantic"));
  // The program ends when the start window closes, not with its last window.
  QApplication::setQuitOnLastWindowClosed(false);
  ui::InitArtwork();
  ui::QtDialogs dialogs;
  ui::SetDialogs(&dialogs);

  // The virtual recorders of ZANTIC_VDISC (or the per-user one) join the
  // drive list as they do for zantic-cli.
  vdrive::RegisterVirtualRecorders();
  app::Program program(QString::fromStdString(platform::ProgramFolder()), arguments);
  if (selfTest) return app::RunSelfTest(program, started);
  program.Start();
  return QApplication::exec();
}
