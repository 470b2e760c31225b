#include "ui/dialogs.h"

#include <QFileInfo>
#include <QRegularExpression>

#include "ui/qt_dialogs.h"

namespace ui {

namespace {
Dialogs* gCurrent = nullptr;
}

Dialogs& CurrentDialogs() {
  if (gCurrent == nullptr) {
    static QtDialogs fallback;
    return fallback;
  }
  return *gCurrent;
}

void SetDialogs(Dialogs* dialogs) { gCurrent = dialogs; }

QString FilterSuffix(const QString& filter) {
  static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9_]+)"));
  const QRegularExpressionMatch match = pattern.match(filter);
  return match.hasMatch() ? match.captured(1) : QString();
}

QString WithFilterSuffix(const QString& path, const QString& filter) {
  if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty()) return path;
  const QString suffix = FilterSuffix(filter);
  return suffix.isEmpty() ? path : path + QLatin1Char('.') + suffix;
}

}  // namespace ui
