#pragma once
// The new-version check: one HTTP GET of <web site>/update.txt without
// blocking the window, the published number compared with the installed one,
// and the answer in a message box of the window that asked.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

#include "appcore/tips.h"

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class QWidget;

namespace app {

// <web site>/<path> with one "/" between them; an empty URL when the site is
// not an http or https address with a host.
QUrl SiteUrl(const QString& webSite, const char* path);
// The home page the Homepage item and the start window open: the site's
// address, or our own when the setting is not a web address.
QUrl HomePageUrl(const QString& webSite);
// The home page as the start window shows it: host and path, no scheme.
QString HomePageText(const QUrl& page);
// The reply body as a number: written with a decimal point first, then with
// the person's decimal separator.
std::optional<double> ReadPublishedVersion(const QString& body, QChar localeDecimal);

class VersionCheck : public QObject {
  Q_OBJECT
 public:
  static constexpr int kDefaultTimeoutMs = 60000;
  // A version file is a few bytes; anything longer is not one.
  static constexpr qint64 kMaxBody = 4096;

  explicit VersionCheck(QObject* parent = nullptr);
  ~VersionCheck() override;

  // Starts a check and returns at once; the message boxes belong to
  // `owner`. False, and nothing happens, while a check runs.
  bool Start(appcore::VersionCheckEntry entry, QWidget* owner, const QString& webSite, double installed);
  bool Running() const { return FRunning; }
  void SetTimeoutMs(int ms) { FTimeoutMs = ms; }
  // Opens the download page; the desktop's browser unless a test says otherwise.
  std::function<void(const QUrl&)> OpenUrl;

 signals:
  // After the last message box of a check was answered.
  void Finished();

 private:
  void ReplyFinished();
  void End(const std::optional<QString>& body);

  QNetworkAccessManager* FNetwork = nullptr;
  QPointer<QNetworkReply> FReply;
  QTimer* FTimeout = nullptr;
  bool FRunning = false;
  bool FTimedOut = false;
  int FTimeoutMs = kDefaultTimeoutMs;
  appcore::VersionCheckEntry FEntry = appcore::VersionCheckEntry::Automatic;
  QPointer<QWidget> FOwner;
  QString FWebSite;
  double FInstalled = 0;
};

}  // namespace app
