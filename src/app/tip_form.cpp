#include "app/tip_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <chrono>

#include "app/texts.h"
#include "appcore/ini_file.h"
#include "appcore/tips.h"
#include "platform/program_folder.h"

namespace app {

QString TipsFilePath(const QString& programFolder) {
  const QString own = QDir(programFolder).filePath(QString::fromUtf8(appcore::kTipsFileName));
  if (QFileInfo::exists(own)) return own;
  const QString shipped = QString::fromStdString(platform::ShippedDataFolder());
  return shipped.isEmpty() ? own : QDir(shipped).filePath(QString::fromUtf8(appcore::kTipsFileName));
}

TTipForm::TTipForm(QString tipsFile, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint),
      FTipsFile(std::move(tipsFile)),
      FRandom(static_cast<std::mt19937::result_type>(
          std::chrono::steady_clock::now().time_since_epoch().count() ^
          std::chrono::system_clock::now().time_since_epoch().count())) {
  setObjectName(QStringLiteral("TTipForm"));
  setWindowTitle(QString::fromUtf8(texts::kTipsCaption));
  setAccessibleName(QString::fromUtf8(texts::kTipsCaption));

  Label1 = new QLabel(this);
  Label1->setObjectName(QStringLiteral("Label1"));
  // Tips.ini is the person's file: its texts are shown as they are, never as markup.
  Label1->setTextFormat(Qt::PlainText);
  Label1->setWordWrap(true);
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  auto* GroupBox1 = new QGroupBox(QString::fromUtf8(texts::kTipsContent), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  memo1 = new QPlainTextEdit(GroupBox1);
  memo1->setObjectName(QStringLiteral("memo1"));
  memo1->setReadOnly(true);
  memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo1->setAccessibleName(QString::fromUtf8(texts::kTipsContent));
  auto* groupBox = new QVBoxLayout(GroupBox1);
  groupBox->addWidget(memo1);
  chkTip = new QCheckBox(QString::fromUtf8(texts::kTipsNeverShow), this);
  chkTip->setObjectName(QStringLiteral("chkTip"));
  auto* btnOK = new QPushButton(QString::fromUtf8(texts::kTipsOk), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(chkTip, 1);
  bottom->addWidget(btnOK);
  auto* root = new QVBoxLayout(this);
  root->addWidget(Label1);
  root->addWidget(GroupBox1, 1);
  root->addLayout(bottom);

  connect(chkTip, &QCheckBox::toggled, this, [this](bool never) {
    if (OnDisplayTipsChanged) OnDisplayTipsChanged(!never);
  });
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  resize(QSize(kDefaultWidth, kDefaultHeight).expandedTo(minimumSizeHint()));
}

void TTipForm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    {
      const QSignalBlocker quiet(chkTip);
      chkTip->setChecked(false);
    }
    ShowTip();
    if (const QScreen* screen = QApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
  }
  QDialog::showEvent(event);
}

void TTipForm::ShowTip() {
  const appcore::IniFile tips(FTipsFile.toStdString());
  const auto tip = appcore::PickTip(tips, FRandom);
  Label1->setText(tip ? QString::fromStdString(tip->Title) : QString());
  memo1->setPlainText(tip ? QString::fromStdString(tip->Content) : QString());
}

QString TTipForm::Title() const { return Label1->text(); }
QString TTipForm::Content() const { return memo1->toPlainText(); }

void TTipForm::done(int result) {
  QDialog::done(result);
  if (OnClosed) OnClosed();
}

}  // namespace app
