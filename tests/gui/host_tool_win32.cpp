#include <windows.h>

#include <QDir>
#include <QFileInfo>

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

void StartHostTool(QProcess& process, const QString& tool, const QStringList& args) {
  // Wine's start.exe runs a Unix program given by its Unix path, and waits.
  process.start(QStringLiteral("start.exe"), QStringList{QStringLiteral("/wait"), QStringLiteral("/unix"),
                                                        QStringLiteral("/usr/bin/") + tool} + args);
}

}  // namespace guitest
