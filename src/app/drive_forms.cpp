#include "app/drive_forms.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <cmath>

#include "app/background_work.h"
#include "app/drive_texts.h"
#include "app/tree_forms.h"
#include "engine/device/media_types.h"
#include "engine/device/speed_text.h"
#include "engine/kavo_burner.h"
#include "engine/session_list.h"
#include "ui/dialogs.h"

namespace app {
namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }

struct CapsBox {
  const char* Name;
  const char* Caption;
  std::uint32_t Bit;
};

// Two columns, reads on the left, writes on the right.
constexpr CapsBox kReadBoxes[] = {
    {"ReadCDR", "Read CDR", device::kCapReadCdr},         {"ReadCDRW", "Read CDRW", device::kCapReadCdrw},
    {"ReadDVD", "Read DVD", device::kCapReadDvd},         {"ReadDVDR", "Read DVD-R", device::kCapReadDvdr},
    {"ReadDVDRW", "Read DVD-RW", device::kCapReadDvdrw},  {"ReadDVDRAM", "Read DVD-RAM", device::kCapReadDvdram},
    {"ReadDVDPR", "Read DVD+R", device::kCapReadDvdpr},   {"ReadDVDPRW", "Read DVD+RW", device::kCapReadDvdprw},
};
constexpr CapsBox kWriteBoxes[] = {
    {"WriteCDR", "Write CDR", device::kCapWriteCdr},
    {"WriteCDRW", "Write CDRW", device::kCapWriteCdrw},
    {"WriteDVDR", "Write DVD-R", device::kCapWriteDvdr},
    {"WriteDVDRW", "Write DVD-RW", device::kCapWriteDvdrw},
    {"WriteDVDPR", "Write DVD+R", device::kCapWriteDvdpr},
    {"WriteDVDPRW", "Write DVD+RW", device::kCapWriteDvdprw},
    {"WriteDVDRAM", "Write DVD-RAM", device::kCapWriteDvdram},
    {"WriteTest", "Write Test", device::kCapWriteTest},
    {"UnderrunProtection", "Underrun Protection", device::kCapUnderrunProtection},
};

// Blu-ray in a box of its own below, so the CD/DVD boxes keep their places.
constexpr CapsBox kBdReadBoxes[] = {
    {"ReadBD", "Read BD-ROM", device::kCapReadBd},
    {"ReadBDR", "Read BD-R", device::kCapReadBdr},
    {"ReadBDRE", "Read BD-RE", device::kCapReadBdre},
};
constexpr CapsBox kBdWriteBoxes[] = {
    {"WriteBDR", "Write BD-R", device::kCapWriteBdr},
    {"WriteBDRE", "Write BD-RE", device::kCapWriteBdre},
};

QString SpeedShown(std::uint32_t kbps, bool dvd) { return QString::fromStdString(device::SpeedText(kbps, dvd)); }

}  // namespace

DriveCapabilities CapabilitiesOf(const engine::TKavoBurner& burner) {
  DriveCapabilities caps;
  caps.Flags = burner.Capabilities();
  caps.DeviceName = QString::fromStdString(burner.DeviceName());
  caps.MaxWriteKBps = burner.DeviceMaxWriteSpeed();
  caps.MaxReadKBps = burner.DeviceMaxReadSpeed();
  caps.Dvd = (caps.Flags & device::kCapReadDvd) != 0;
  return caps;
}

TForm2::TForm2(const DriveCapabilities& caps, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TForm2"));
  setWindowTitle(Text(texts::kCapsCaption));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto* Label1 = new QLabel(QStringLiteral("  ") + caps.DeviceName, this);
  Label1->setObjectName(QStringLiteral("Label1"));
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  layout->addWidget(Label1);

  // Disabled so that the boxes show and cannot be changed.
  auto* Panel1 = new QGroupBox(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setEnabled(false);
  auto* grid = new QGridLayout(Panel1);
  const auto add = [&](QGroupBox* panel, QGridLayout* to, const CapsBox& box, int row, int column) {
    auto* check = new QCheckBox(Text(box.Caption), panel);
    check->setObjectName(Text(box.Name));
    check->setChecked((caps.Flags & box.Bit) != 0);
    to->addWidget(check, row, column);
  };
  int row = 0;
  for (const CapsBox& box : kReadBoxes) add(Panel1, grid, box, row++, 0);
  row = 0;
  for (const CapsBox& box : kWriteBoxes) add(Panel1, grid, box, row++, 1);
  layout->addWidget(Panel1);

  auto* PanelBD = new QGroupBox(Text(texts::kBluRayBox), this);
  PanelBD->setObjectName(QStringLiteral("PanelBD"));
  PanelBD->setEnabled(false);
  auto* bdGrid = new QGridLayout(PanelBD);
  row = 0;
  for (const CapsBox& box : kBdReadBoxes) add(PanelBD, bdGrid, box, row++, 0);
  row = 0;
  for (const CapsBox& box : kBdWriteBoxes) add(PanelBD, bdGrid, box, row++, 1);
  layout->addWidget(PanelBD);

  auto* Label2 = new QLabel(Text(texts::kMaxWriteSpeed) + SpeedShown(caps.MaxWriteKBps, caps.Dvd), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  auto* Label3 = new QLabel(Text(texts::kMaxReadSpeed) + SpeedShown(caps.MaxReadKBps, caps.Dvd), this);
  Label3->setObjectName(QStringLiteral("Label3"));
  // The two speeds line up as they always have: a fixed-pitch font.
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  Label2->setFont(fixed);
  Label3->setFont(fixed);
  layout->addWidget(Label2);
  layout->addWidget(Label3);

  auto* Button1 = new QPushButton(Text(texts::kClose), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  // The cancel button: Esc closes the window as the button does.
  connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
  layout->addWidget(Button1, 0, Qt::AlignRight);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

DiscInformation ReadDiscInformation(engine::TKavoBurner& burner) {
  DiscInformation info;
  for (const std::string& line : engine::SessionListLines(burner.DiscSource()))
    info.Lines << QString::fromStdString(line);
  device::TDisc disc;
  burner.GetDiscInfo(disc);
  info.Medium = QString::fromUtf8(device::MediumName(burner.DetectMediaType()));
  info.TotalMB = burner.DiscTotalBlocks() / 512.0;
  info.UsedMB = burner.DiscUsedBlocks() / 512.0;
  return info;
}

TfrmSessions::TfrmSessions(engine::TKavoBurner& burner, appcore::DriveJobs& jobs, QWidget* parent)
    : QDialog(parent), FBurner(burner), FJobs(jobs) {
  setObjectName(QStringLiteral("TfrmSessions"));
  setWindowTitle(Text(texts::kSessionsCaption));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto* values = new QGridLayout;
  QFont bold = font();
  bold.setBold(true);
  const auto value = [&](const char* caption, const char* name, int row) {
    values->addWidget(new QLabel(Text(caption), this), row, 0);
    auto* label = new QLabel(this);
    label->setObjectName(Text(name));
    label->setFont(bold);
    values->addWidget(label, row, 1);
    return label;
  };
  lMedium = value(texts::kMediumLabel, "lMedium", 0);
  lDiscSize = value(texts::kDiscSizeLabel, "lDiscSize", 1);
  lUsedSpace = value(texts::kUsedSpaceLabel, "lUsedSpace", 2);
  values->setColumnStretch(1, 1);
  layout->addLayout(values);

  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  auto* header = new QHBoxLayout;
  auto* Panel1 = new QLabel(QString::fromUtf8(engine::kSessionListHeader), this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFont(fixed);
  SpeedButton1 = new QPushButton(Text(texts::kShowFiles), this);
  SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
  SpeedButton1->setAutoDefault(false);
  header->addWidget(Panel1, 1);
  header->addWidget(SpeedButton1);
  layout->addLayout(header);

  lb = new QListWidget(this);
  lb->setObjectName(QStringLiteral("lb"));
  lb->setAccessibleName(QStringLiteral("Tracks of the disc"));
  lb->setFont(fixed);
  // The header's columns over the list's.
  Panel1->setIndent(lb->frameWidth() + lb->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, lb) + 1);
  lb->setMinimumSize(QFontMetrics(fixed).horizontalAdvance(QStringLiteral("  001      000:02:00   310 MB   ")) + 24,
                     QFontMetrics(fixed).height() * 10);
  layout->addWidget(lb, 1);
  connect(lb, &QListWidget::itemClicked, this, [this] { SpeedButton1Click(); });
  connect(lb, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  connect(SpeedButton1, &QPushButton::clicked, this, &TfrmSessions::SpeedButton1Click);
}

void TfrmSessions::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TfrmSessions::Fill(const DiscInformation& info) {
  lb->clear();
  lb->addItems(info.Lines);
  lMedium->setText(info.Medium);
  lDiscSize->setText(QString::number(info.TotalMB, 'f', 2) + QStringLiteral(" MB"));
  lUsedSpace->setText(QString::number(info.UsedMB, 'f', 2) + QStringLiteral(" MB"));
}

void TfrmSessions::SpeedButton1Click() {
  const int row = lb->currentRow();
  if (row < 0 || lb->currentItem() == nullptr || !lb->currentItem()->isSelected()) {
    ui::CurrentDialogs().Inform(this, Text(texts::kSelectSession));
    return;
  }
  // The last line is the free space, not a session.
  if (lb->count() < 2 || row == lb->count() - 1) return;
  const int session = row + 1;
  bool imported = false;
  const WorkOutcome outcome = RunWithProgress(
      this, FBurner, FJobs, engine::OperationPhase::Importing, Text(texts::kImportingSession).arg(session),
      [session, &imported](engine::TKavoBurner& burner) {
        burner.ResetCompilation(65535, 8191);
        imported = burner.ImportDiscSession(static_cast<std::int8_t>(std::min(session, 127)), nullptr);
      });
  if (outcome != WorkOutcome::Done) return;
  if (!imported) {
    // The engine logs why; the person needs to know that nothing came.
    ui::CurrentDialogs().Inform(this, Text(texts::kSessionNotRead));
    return;
  }
  TfrmTree tree(FBurner, FJobs, this);
  if (OnShowTree)
    OnShowTree(tree);
  else
    tree.exec();
}

}  // namespace app
