#include "app/version_check.h"

#include <QAction>
#include <QDesktopServices>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <utility>

#include "app/main_form.h"
#include "app/texts.h"
#include "appcore/texts.h"
#include "ui/dialogs.h"

namespace app {

QUrl SiteUrl(const QString& webSite, const char* path) {
  QString site = webSite.trimmed();
  while (site.endsWith(QLatin1Char('/'))) site.chop(1);
  const QUrl url(site + QString::fromUtf8(path), QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
    return {};
  return url;
}

QUrl HomePageUrl(const QString& webSite) {
  const QUrl page = SiteUrl(webSite, "/");
  return page.isEmpty() ? QUrl(QString::fromUtf8(texts::kWebSite)) : page;
}

QString HomePageText(const QUrl& page) {
  QString text = page.host(QUrl::FullyDecoded);
  if (page.port() != -1) text += QLatin1Char(':') + QString::number(page.port());
  QString path = page.path(QUrl::FullyDecoded);
  while (path.endsWith(QLatin1Char('/'))) path.chop(1);
  return text + path;
}

std::optional<double> ReadPublishedVersion(const QString& body, QChar localeDecimal) {
  const std::string text = body.trimmed().toStdString();
  if (auto plain = appcore::ParseVersionNumber(text, '.')) return plain;
  if (localeDecimal.unicode() < 0x80 && localeDecimal != QLatin1Char('.'))
    return appcore::ParseVersionNumber(text, static_cast<char>(localeDecimal.unicode()));
  return std::nullopt;
}

VersionCheck::VersionCheck(QObject* parent) : QObject(parent) {
  FNetwork = new QNetworkAccessManager(this);
  FTimeout = new QTimer(this);
  FTimeout->setSingleShot(true);
  connect(FTimeout, &QTimer::timeout, this, [this] {
    FTimedOut = true;
    if (FReply) FReply->abort();
  });
  OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

VersionCheck::~VersionCheck() {
  if (FReply) {
    FReply->disconnect(this);
    FReply->abort();
  }
}

bool VersionCheck::Start(appcore::VersionCheckEntry entry, QWidget* owner, const QString& webSite, double installed) {
  if (FRunning) return false;
  FRunning = true;
  FTimedOut = false;
  FEntry = entry;
  FOwner = owner;
  FWebSite = webSite;
  FInstalled = installed;
  const QUrl url = SiteUrl(webSite, appcore::kUpdatePath);
  if (url.isEmpty()) {
    // Reported from the event loop, like every other failure.
    QTimer::singleShot(0, this, [this] { End(std::nullopt); });
    return true;
  }
  QNetworkRequest request(url);
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  FReply = FNetwork->get(request);
  connect(FReply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
    if (received > kMaxBody && FReply) FReply->abort();
  });
  connect(FReply, &QNetworkReply::finished, this, &VersionCheck::ReplyFinished);
  FTimeout->start(FTimeoutMs);
  return true;
}

void VersionCheck::ReplyFinished() {
  FTimeout->stop();
  QNetworkReply* reply = FReply;
  FReply = nullptr;
  if (reply == nullptr) return;
  reply->deleteLater();
  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (FTimedOut || reply->error() != QNetworkReply::NoError || status < 200 || status > 299) {
    End(std::nullopt);
    return;
  }
  const QByteArray body = reply->read(kMaxBody + 1);
  if (body.size() > kMaxBody) {
    End(std::nullopt);
    return;
  }
  End(QString::fromUtf8(body).trimmed());
}

void VersionCheck::End(const std::optional<QString>& body) {
  QWidget* owner = FOwner.data();
  // A box belonging to a disabled window (the erase dialog is open) could
  // not be answered.
  if (owner != nullptr && !owner->isEnabled()) owner = nullptr;
  const QString caption = QString::fromUtf8(texts::kInformation);
  const std::optional<double> published =
      body ? ReadPublishedVersion(*body, QLocale().decimalPoint().front()) : std::nullopt;
  if (!published) {
    ui::CurrentDialogs().Message(owner, caption, QString::fromUtf8(appcore::VersionCheckFailureText(FEntry)),
                                 ui::MessageIcon::Information, ui::Ok, ui::Ok);
  } else if (appcore::IsNewerVersion(*published, FInstalled, FEntry)) {
    const QString text = QString::fromStdString(
        appcore::NewerVersionMessage(texts::kProductName, body->toStdString()));
    if (ui::CurrentDialogs().Message(owner, caption, text, ui::MessageIcon::Information, ui::Yes | ui::No, ui::No) ==
        ui::Yes) {
      const QUrl download = SiteUrl(FWebSite, appcore::kDownloadPath);
      if (!download.isEmpty() && OpenUrl) OpenUrl(download);
    }
  } else {
    ui::CurrentDialogs().Message(owner, caption, QString::fromUtf8(appcore::texts::kIsLatest),
                                 ui::MessageIcon::Information, ui::Ok, ui::Ok);
  }
  FRunning = false;
  emit Finished();
}

}  // namespace app

namespace app {

namespace {

// A left click on one title of a menu bar. Passing over the title while
// another menu is open, or opening it from the keyboard, opens the same
// menu without being a click.
class TitleClick : public QObject {
 public:
  TitleClick(QMenuBar* bar, QAction* title) : QObject(bar), FBar(bar), FTitle(title) { bar->installEventFilter(this); }
  // Set by the click, taken when its menu closes.
  bool Clicked = false;
  // An item of the menu was chosen while it was open.
  bool ItemChosen = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == FBar && event->type() == QEvent::MouseButtonPress) {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      Clicked = mouse->button() == Qt::LeftButton && FBar->actionAt(mouse->position().toPoint()) == FTitle;
    }
    return false;
  }

 private:
  QMenuBar* FBar;
  QAction* FTitle;
};

}  // namespace

void TForm1::BuildVersionCheckEntries() {
  QAction* item = findChild<QAction*>(QStringLiteral("mnuCheckVersion"));
  TitleClick* click = nullptr;
  // A click on the menu's title checks too, with its own rule; the item
  // chosen from that menu runs only the item's check, so the title's check
  // waits until the menu has closed without one.
  for (QAction* title : menuBar()->actions())
    if (QMenu* menu = title->menu(); menu != nullptr && title->text() == QLatin1String("Too&ls")) {
      menu->setObjectName(QStringLiteral("mnuTools"));
      click = new TitleClick(menuBar(), title);
      connect(menu, &QMenu::aboutToShow, this, [click] { click->ItemChosen = false; });
      connect(menu, &QMenu::aboutToHide, this, [this, click] {
        if (!std::exchange(click->Clicked, false)) return;
        // A chosen item is triggered right after its menu hides.
        QTimer::singleShot(0, this, [this, click] {
          if (!click->ItemChosen && OnCheckVersion) OnCheckVersion(true);
        });
      });
    }
  if (item != nullptr) {
    item->setEnabled(true);
    connect(item, &QAction::triggered, this, [this, click] {
      if (click != nullptr) click->ItemChosen = true;
      if (OnCheckVersion) OnCheckVersion(false);
    });
  }
}

}  // namespace app
