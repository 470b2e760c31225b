// The progress buttons and the log: Abort, Close Track, Save ISO, Done and
// Eject; Save as rich text or plain text, Print and Clear.
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextStream>
#include <map>

#include "app/burning_form.h"
#include "app/burning_texts.h"
#include "app/main_form.h"
#include "engine/kavo_burner.h"
#include "ui/dialogs.h"

namespace app {

namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }

// One paragraph's text for RTF: the control characters escaped, anything
// beyond ASCII as \uN with a "?" for readers without Unicode.
QByteArray RtfEscape(const QString& text) {
  QByteArray out;
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (u == '\\' || u == '{' || u == '}') {
      out += '\\';
      out += static_cast<char>(u);
    } else if (u == '\t') {
      out += "\\tab ";
    } else if (u >= 0x20 && u < 0x80) {
      out += static_cast<char>(u);
    } else if (u >= 0x80) {
      out += "\\u" + QByteArray::number(static_cast<qint16>(u)) + "?";
    }
  }
  return out;
}

}  // namespace

QByteArray LogAsRtf(const QTextDocument& document) {
  std::map<QRgb, int> colours;
  std::vector<std::pair<int, QString>> lines;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    const QRgb rgb = block.charFormat().foreground().color().rgb();
    QRgb used = rgb;
    // The block's own format may be empty; the first fragment carries the colour.
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      used = it.fragment().charFormat().foreground().color().rgb();
      break;
    }
    const auto [at, added] = colours.try_emplace(used, static_cast<int>(colours.size()) + 1);
    lines.emplace_back(at->second, block.text());
  }
  QByteArray rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fmodern Courier New;}}\n{\\colortbl ;";
  std::vector<QRgb> ordered(colours.size());
  for (const auto& [rgb, index] : colours) ordered[static_cast<std::size_t>(index - 1)] = rgb;
  for (const QRgb rgb : ordered)
    rtf += "\\red" + QByteArray::number(qRed(rgb)) + "\\green" + QByteArray::number(qGreen(rgb)) + "\\blue" +
           QByteArray::number(qBlue(rgb)) + ";";
  rtf += "}\n\\f0\\fs18\n";
  for (const auto& [colour, text] : lines) rtf += "\\cf" + QByteArray::number(colour) + " " + RtfEscape(text) + "\\par\n";
  rtf += "}\n";
  return rtf;
}

QStringList TBurningForm::LogLines() const {
  QStringList lines;
  for (QTextBlock block = memo1->document()->begin(); block.isValid(); block = block.next()) lines << block.text();
  // A fresh document holds one empty block that is no line of the log.
  if (lines.size() == 1 && memo1->document()->begin().userState() != kLogLineState) lines.clear();
  return lines;
}

void TBurningForm::btnAbortClick() { FMain.AbortOperation(); }

void TBurningForm::btnCloseTrackClick() {
  // Closing a session takes the drive up to three minutes: off the window's thread.
  btnCloseTrack->setEnabled(false);
  QPointer<QPushButton> button(btnCloseTrack);
  FMain.RunOnDrive(
      engine::OperationPhase::Finalizing,
      [](engine::TKavoBurner& b) { b.CloseTrackSession(device::TImmediate::No, 2, 0, 0, 0); },
      [button](engine::TKavoBurner&) {
        if (!button.isNull()) button->setEnabled(true);
      });
}

void TBurningForm::btnSaveISOClick() { FMain.btnSaveClick(); }

void TBurningForm::btnEjectClick() {
  // With the box on, the end of the burn has ejected already.
  if (!cEject->isChecked()) FMain.EjectDisc();
  close();
}

void TBurningForm::btnClearClick() { memo1->clear(); }

void TBurningForm::btnSaveLogClick() {
  QString type;
  QString path = ui::CurrentDialogs().SaveFileNameOfType(this, Text(texts::kSaveLog).remove(QLatin1Char('&')),
                                                         FMain.AppFolder(), Text(texts::kLogFilter), type);
  if (path.isEmpty()) return;
  // A name without an extension takes the chosen type's.
  path = ui::WithFilterSuffix(path, type);
  QByteArray bytes;
  if (QFileInfo(path).suffix().toLower() == QStringLiteral("txt")) {
    const QStringList lines = LogLines();
    for (const QString& line : lines) bytes += line.toUtf8() + "\r\n";
  } else {
    bytes = LogAsRtf(*memo1->document());
  }
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
    ui::CurrentDialogs().Inform(this, Text(texts::kTempWriteFailed) + path);
}

void TBurningForm::btnPrintClick() {
  QPrinter printer;
  bool go = false;
  if (PrintDialogs) {
    go = PrintDialogs(printer);
  } else {
    QPageSetupDialog setup(&printer, this);
    if (setup.exec() == QDialog::Accepted) {
      QPrintDialog print(&printer, this);
      go = print.exec() == QDialog::Accepted;
    }
  }
  if (go) memo1->print(&printer);
}

}  // namespace app
