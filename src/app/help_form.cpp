#include "app/help_form.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "app/drive_texts.h"
#include "platform/program_folder.h"

namespace app {

QString HelpFile() {
  const QStringList folders = {QString::fromStdString(platform::ShippedDataFolder()),
                               QString::fromStdString(platform::ProgramFolder())};
  for (const QString& folder : folders) {
    if (folder.isEmpty()) continue;
    const QString file = QDir(folder).filePath(QStringLiteral("Help/index.html"));
    if (QFileInfo(file).isFile()) return file;
  }
  return QString();
}

QWidget* ShowHelp(QWidget* parent, const QString& file) {
  // Not modal: the manual stays open beside the window it explains.
  static QPointer<QWidget> shown;
  if (shown == nullptr) {
    auto* window = new QWidget(parent, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(QStringLiteral("frmHelp"));
    window->setWindowTitle(QString::fromUtf8(texts::kHelpCaption));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* browser = new QTextBrowser(window);
    browser->setObjectName(QStringLiteral("HelpBrowser"));
    browser->setOpenLinks(true);
    browser->setOpenExternalLinks(true);
    layout->addWidget(browser);
    window->resize(760 * std::max(96, window->logicalDpiX()) / 96, 600 * std::max(96, window->logicalDpiY()) / 96);
    shown = window;
  }
  auto* browser = shown->findChild<QTextBrowser*>(QStringLiteral("HelpBrowser"));
  browser->setSource(QUrl::fromLocalFile(file));
  shown->show();
  shown->raise();
  shown->activateWindow();
  return shown;
}

}  // namespace app
