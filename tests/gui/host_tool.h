#pragma once
// The peer readers (xorriso, isoinfo) are Linux programs; the Windows build
// of the tests runs under wine and reaches them through it. One file per OS.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace guitest {

// `path` as the host's programs see it (under wine: the Unix path).
QString HostPath(const QString& path);
// Starts the host's program `tool` with `args` (paths given through HostPath).
void StartHostTool(QProcess& process, const QString& tool, const QStringList& args);

}  // namespace guitest
