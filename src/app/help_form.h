#pragma once
// The program's own manual: HTML shipped in the "Help" folder beside the
// program or in the installation's share folder, shown in a browser window
// of its own; links to web and mail addresses go to the desktop's programs.
#include <QString>
#include <QWidget>

namespace app {

// The manual's first page; empty when it is nowhere to be found.
QString HelpFile();
// Opens (or brings forward) the one help window on `file`.
QWidget* ShowHelp(QWidget* parent, const QString& file);

}  // namespace app
