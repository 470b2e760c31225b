#pragma once
// The start window: a borderless window with picture buttons from which the
// person picks a job. It is the program's main window: closing it ends the
// program, unless scheduled tasks keep the program waiting in the tray.
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace appcore {
class Options;
}

namespace ui {
class PictureButton;
}

namespace app {

class TStartForm : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kDefaultWidth = 522;
  static constexpr int kDefaultHeight = 414;

  // `arguments` excludes the program name.
  TStartForm(const QString& programFolder, const std::vector<std::string>& arguments, QWidget* parent = nullptr);

  const QString& AppFolder() const { return FAppFolder; }
  const QString& VersionText() const { return FVersionText; }
  double VersionNumber() const { return FVersionNumber; }
  bool ScheduleStart() const { return FScheduleStart; }

  // Paints the background the options choose (colour, gradient or picture)
  // and returns an error text naming the picture that could not be loaded;
  // the background is then left as it was.
  QString ApplyBackground(const appcore::Options& options);
  // The home-page label shows and opens the "WebSite" setting.
  void SetWebSite(const QString& webSite);
  const QUrl& HomePage() const { return FHomePage; }

  // The notification-area icon. Where the desktop has none, the start window
  // stays on the taskbar, minimised, so that the person can still reach it.
  void ActivateTray();
  void DeactivateTray();
  bool TrayActive() const { return FTrayActive; }
  static bool TrayAvailable();

  // True once the window has painted itself (start-up measurements).
  bool Painted() const { return FPainted; }

  // What the buttons and the tray menu ask of the rest of the program.
  std::function<void()> OnBurn;
  std::function<void()> OnISO;
  std::function<void()> OnClose;  // btnClose, Image3 double-click
  std::function<void()> OnOptions;
  std::function<void()> OnScheduleList;
  std::function<void()> OnExit;  // tray "&Exit"
  // Whether the automatic version check is on, asked when the window first
  // shows; the check then runs once, two seconds later.
  std::function<bool()> AutoVersionCheck;
  std::function<void()> OnVersionCheck;

  // Enables the buttons whose windows exist (the options window is created
  // after this one).
  void SetOptionsAvailable(bool available);
  // The schedule window exists: the tray's "Schedule List" and the Backup
  // button open it.
  void SetScheduleListAvailable(bool available);
  // The tray icon's hint ("N Backup Tasks").
  void SetTrayHint(const QString& hint);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // The window manager's close (Alt+F4) is the close button.
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum class Fill { Color, Gradient, Image };
  void BuildControls();
  void BuildTray();
  void ReadVersion();
  void btnMinClick();
  // Help topic "Welcome": the manual's first page.
  void btnHelpClick();
  void Call(const std::function<void()>& handler);

  QString FAppFolder;
  QString FVersionText;
  QUrl FHomePage;
  double FVersionNumber = 0;
  bool FScheduleStart = false;
  bool FTrayActive = false;
  bool FPainted = false;
  bool FShownOnce = false;

  Fill FFill = Fill::Color;
  QColor FColor;
  QColor FTop;
  QColor FBottom;
  QPixmap FImage;

  bool FDragging = false;
  QPoint FDragStart;
  bool FDragMoved = false;

  ui::PictureButton* btnOption = nullptr;
  ui::PictureButton* btnBackup = nullptr;
  QLabel* labHomepage = nullptr;
  QTimer* Timer1 = nullptr;
  QSystemTrayIcon* TrayIcon = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* FTrayOptions = nullptr;
  QAction* FTrayScheduleList = nullptr;
};

// 0x00BBGGRR, as the options file keeps colours.
QColor ColorFromOptions(std::int32_t value);

}  // namespace app
