#include <windows.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "gui/host_tool.h"

namespace guitest {

QString HostPath(const QString& path) {
  // Wine's own export: the Unix name of a Windows path (from the process heap).
  using ToUnix = char*(CDECL*)(LPCWSTR);
  static const ToUnix toUnix = [] {
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    return reinterpret_cast<ToUnix>(reinterpret_cast<void (*)()>(found));
  }();
  if (toUnix == nullptr) return path;
  const QString native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
  char* unixName = toUnix(reinterpret_cast<LPCWSTR>(native.utf16()));
  if (unixName == nullptr) return path;
  const QString out = QString::fromUtf8(unixName);
  HeapFree(GetProcessHeap(), 0, unixName);
  return out;
}

// Wine's start.exe runs a Unix program, but neither waits for it nor hands
// back its exit code: a shell script around the tool leaves both in files.
HostToolRun RunHostTool(const QString& tool, const QStringList& args, int ms) {
  HostToolRun run;
  QTemporaryDir dir;
  if (!dir.isValid()) return run;
  const auto quoted = [](QString text) {
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
  };
  const QString unixDir = HostPath(dir.path());
  QString command = quoted(QStringLiteral("/usr/bin/") + tool);
  for (const QString& arg : args) command += QLatin1Char(' ') + quoted(arg);
  const QString script = command + QStringLiteral(" >") + quoted(unixDir + QStringLiteral("/out")) +
                         QStringLiteral(" 2>/dev/null\necho $? >") + quoted(unixDir + QStringLiteral("/rc.tmp")) +
                         QStringLiteral(" && mv ") + quoted(unixDir + QStringLiteral("/rc.tmp")) + QLatin1Char(' ') +
                         quoted(unixDir + QStringLiteral("/rc")) + QLatin1Char('\n');
  QFile file(dir.filePath(QStringLiteral("run.sh")));
  if (!file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0) return run;
  file.close();
  QProcess start;
  start.start(QStringLiteral("start.exe"), {QStringLiteral("/unix"), QStringLiteral("/bin/sh"),
                                             HostPath(file.fileName())});
  if (!start.waitForFinished(ms)) return run;
  QFile rc(dir.filePath(QStringLiteral("rc")));
  // Nothing tells of the tool's end but the file it leaves.
  run.Finished = QTest::qWaitFor([&rc] { return rc.exists(); }, ms);
  if (!run.Finished || !rc.open(QIODevice::ReadOnly)) return run;
  bool number = false;
  run.ExitCode = rc.readAll().trimmed().toInt(&number);
  if (!number) run.ExitCode = -1;
  QFile out(dir.filePath(QStringLiteral("out")));
  if (out.open(QIODevice::ReadOnly)) run.Output = out.readAll();
  return run;
}

}  // namespace guitest
