#pragma once
// The drive's capabilities (TForm2) and the disc's sessions (TfrmSessions).
#include <QDialog>
#include <QStringList>
#include <cstdint>
#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

namespace engine {
class Interaction;
class TKavoBurner;
}
namespace appcore {
class DriveJobs;
}

namespace app {

// What the capabilities window shows, read on the window's thread from
// what the burner kept when the drive was selected.
struct DriveCapabilities {
  std::uint32_t Flags = 0;
  QString DeviceName;
  std::uint32_t MaxWriteKBps = 0;
  std::uint32_t MaxReadKBps = 0;
  bool Dvd = false;  // speeds as DVD factors
};
DriveCapabilities CapabilitiesOf(const engine::TKavoBurner& burner);

class TForm2 : public QDialog {
  Q_OBJECT
 public:
  TForm2(const DriveCapabilities& caps, QWidget* parent = nullptr);
};

// What the disc information reads, off the window's thread.
struct DiscInformation {
  QStringList Lines;
  QString Medium;
  double TotalMB = 0;
  double UsedMB = 0;
};
DiscInformation ReadDiscInformation(engine::TKavoBurner& burner);

class TfrmSessions : public QDialog {
  Q_OBJECT
 public:
  // A session is imported as a job of `jobs`, the queue of `burner`.
  TfrmSessions(engine::TKavoBurner& burner, appcore::DriveJobs& jobs, QWidget* parent = nullptr);
  void Fill(const DiscInformation& info);
  // The click on a line or on "Show Files": imports the selected session
  // and shows its files.
  void SpeedButton1Click();
  // The tree window of the last session opened; shown modally unless a
  // test takes it.
  std::function<void(class TfrmTree&)> OnShowTree;

 protected:
  // Enter closes the window as Esc does.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  engine::TKavoBurner& FBurner;
  appcore::DriveJobs& FJobs;
  QListWidget* lb = nullptr;
  QLabel* lMedium = nullptr;
  QLabel* lDiscSize = nullptr;
  QLabel* lUsedSpace = nullptr;
  QPushButton* SpeedButton1 = nullptr;
};

}  // namespace app
