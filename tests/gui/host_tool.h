#pragma once
// The peer readers (xorriso, isoinfo) are Linux programs; the Windows build
// of the tests runs under wine and reaches them through it. One file per OS.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace guitest {

// `path` as the host's programs see it (under wine: the Unix path).
QString HostPath(const QString& path);

struct HostToolRun {
  bool Finished = false;
  int ExitCode = -1;
  QByteArray Output;  // standard output
};
// Runs the host's program `tool` with `args` (paths given through HostPath)
// and waits for its end, at most `ms`.
HostToolRun RunHostTool(const QString& tool, const QStringList& args, int ms);

}  // namespace guitest
