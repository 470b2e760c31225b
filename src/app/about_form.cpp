#include "app/about_form.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/texts.h"

namespace app {

TAboutForm::TAboutForm(const QString& versionText, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TAboutForm"));
  setWindowTitle(QString::fromUtf8(texts::kAboutCaption));
  setAttribute(Qt::WA_DeleteOnClose, false);

  auto* Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setPixmap(QPixmap(QStringLiteral(":/artwork/zantic-64.png")));
  Image1->setAccessibleName(QStringLiteral("Program icon"));
  auto* Label1 = new QLabel(QString::fromUtf8(texts::kProductName), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  QFont big = Label1->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  Label1->setFont(big);
  auto* LabVersion = new QLabel(QString::fromUtf8(texts::kAboutVersionPrefix) + versionText, this);
  LabVersion->setObjectName(QStringLiteral("LabVersion"));
  auto* Label2 = new QLabel(QString::fromUtf8(texts::kAboutSystems), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  auto* btnOK = new QPushButton(QString::fromUtf8(texts::kOk), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::close);

  auto* text = new QVBoxLayout;
  text->addWidget(Label1);
  text->addWidget(LabVersion);
  text->addWidget(Label2);
  auto* row = new QHBoxLayout;
  row->addWidget(Image1, 0, Qt::AlignTop);
  row->addSpacing(12);
  row->addLayout(text, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  auto* root = new QVBoxLayout(this);
  root->addLayout(row);
  root->addStretch(1);
  root->addLayout(buttons);
  resize(sizeHint().expandedTo(QSize(340, 150)));
}

}  // namespace app
