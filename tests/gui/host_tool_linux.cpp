#include "gui/host_tool.h"

namespace guitest {

QString HostPath(const QString& path) { return path; }

void StartHostTool(QProcess& process, const QString& tool, const QStringList& args) { process.start(tool, args); }

}  // namespace guitest
