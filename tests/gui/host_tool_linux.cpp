#include <QProcess>

#include "gui/host_tool.h"

namespace guitest {

QString HostPath(const QString& path) { return path; }

HostToolRun RunHostTool(const QString& tool, const QStringList& args, int ms) {
  QProcess process;
  process.start(tool, args);
  HostToolRun run;
  run.Finished = process.waitForFinished(ms) && process.exitStatus() == QProcess::NormalExit;
  run.ExitCode = run.Finished ? process.exitCode() : -1;
  run.Output = process.readAllStandardOutput();
  return run;
}

}  // namespace guitest
