// The tip window with its Tips.ini, and the new-version check against a
// small HTTP server on 127.0.0.1 that the test runs itself.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "app/main_form.h"
#include "app/option_form.h"
#include "app/program.h"
#include "app/start_form.h"
#include "app/tip_form.h"
#include "app/version_check.h"
#include "appcore/ini_file.h"
#include "gui/gui_helpers.h"
#include "gui/scripted_dialogs.h"
#include "ui/qt_dialogs.h"

using guitest::Find;

namespace {

// Answers each GET with `Body` (status `Status`), or never when `Silent`.
class TinyHttpServer : public QTcpServer {
 public:
  QByteArray Body = "4.0";
  int Status = 200;
  bool Silent = false;
  QStringList Paths;

  TinyHttpServer() {
    connect(this, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = nextPendingConnection()) {
        Sockets.emplace_back(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Answer(socket); });
      }
    });
  }
  QString Site() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }

 private:
  void Answer(QTcpSocket* socket) {
    QByteArray& request = Requests[socket];
    request += socket->readAll();
    if (!request.contains("\r\n\r\n")) return;
    Paths << QString::fromLatin1(request.split(' ').value(1));
    if (Silent) return;
    QByteArray reply = "HTTP/1.1 " + QByteArray::number(Status) + " X\r\nContent-Type: text/plain\r\nContent-Length: " +
                       QByteArray::number(Body.size()) + "\r\nConnection: close\r\n\r\n" + Body;
    socket->write(reply);
    socket->disconnectFromHost();
  }
  std::vector<std::unique_ptr<QTcpSocket>> Sockets;
  QHash<QTcpSocket*, QByteArray> Requests;
};

}  // namespace

class TipsVersionTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;

  void WriteFile(const QString& name, const QByteArray& content) {
    QFile file(FDir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
  }
  void WriteOptions(const TinyHttpServer& server, const QByteArray& extra = {}) {
    WriteFile(QStringLiteral("Option.ini"), "[General]\r\nVersion=3.9\r\nDisplay Tips=0\r\nWebSite=" +
                                                server.Site().toLatin1() + "\r\n" + extra);
  }
  // A click on the title "Too&ls" opens its menu; the menu then closes
  // without an item chosen.
  static void ClickToolsTitle(app::TForm1& form) {
    form.show();
    QMenuBar* bar = form.menuBar();
    QMenu* tools = Find<QMenu>(form, "mnuTools");
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(tools->menuAction()).center());
    QTRY_VERIFY(tools->isVisible());
    tools->hide();
  }
  // Runs one check from `entry` and waits for its end; the opened URLs land in `opened`.
  static void RunCheck(app::Program& program, appcore::VersionCheckEntry entry, QStringList& opened, int timeoutMs = 60000) {
    app::VersionCheck& check = program.Versions();
    check.SetTimeoutMs(timeoutMs);
    check.OpenUrl = [&opened](const QUrl& url) { opened << url.toString(); };
    QSignalSpy finished(&check, &app::VersionCheck::Finished);
    if (entry == appcore::VersionCheckEntry::ToolsMenuItem)
      guitest::Trigger(program.MainForm(), "mnuCheckVersion");
    else if (entry == appcore::VersionCheckEntry::ToolsMenuTitle)
      ClickToolsTitle(program.MainForm());
    else
      program.StartForm().OnVersionCheck();
    QVERIFY(finished.wait(10000));
  }

 private slots:
  void initTestCase() {
    ui::InitArtwork();
    QVERIFY(FDir.isValid());
    qunsetenv("http_proxy");
    qunsetenv("HTTP_PROXY");
    qunsetenv("no_proxy");
  }
  void init() { QLocale::setDefault(QLocale::c()); }

  // --- the tip window

  void threeTipsShowOnlySectionsOneToThree() {
    WriteFile(QStringLiteral("Tips.ini"),
              "[Count]\r\nValue=3\r\n[0]\r\nTitle=Zero\r\n[1]\r\nTitle=One\r\nContent=1\r\n[2]\r\nTitle=Two\r\n"
              "[3]\r\nTitle=Three\r\n[4]\r\nTitle=Four\r\n");
    app::TTipForm tips(FDir.filePath(QStringLiteral("Tips.ini")));
    QSet<QString> seen;
    for (int i = 0; i < 300; ++i) {
      tips.ShowTip();
      seen << tips.Title();
    }
    QCOMPARE(seen, (QSet<QString>{"One", "Two", "Three"}));
  }

  void missingTipsAndKeysShowEmptyOrDefaultTexts() {
    app::TTipForm none(FDir.filePath(QStringLiteral("NoSuchTips.ini")));
    none.ShowTip();
    QCOMPARE(none.Title(), QString());
    QCOMPARE(none.Content(), QString());
    // Markup in the person's file is shown as written.
    WriteFile(QStringLiteral("Odd.ini"), "[Count]\r\nValue=1\r\n[1]\r\nContent=<b>bold</b>\r\n");
    app::TTipForm odd(FDir.filePath(QStringLiteral("Odd.ini")));
    odd.show();
    QCOMPARE(odd.Title(), QStringLiteral("No title available."));
    QCOMPARE(Find<QPlainTextEdit>(odd, "memo1")->toPlainText(), QStringLiteral("<b>bold</b>"));
    QCOMPARE(Find<QLabel>(odd, "Label1")->textFormat(), Qt::PlainText);
    QCOMPARE(odd.windowTitle(), QStringLiteral("Everyday Tips"));
    QVERIFY(odd.windowFlags() & Qt::WindowStaysOnTopHint);
  }

  void theShippedTipsAreComplete() {
    const appcore::IniFile tips(ZANTIC_TIPS_FILE);
    const int count = tips.ReadInteger("Count", "Value", 0);
    QVERIFY2(count >= 15, "at least fifteen tips");
    for (int i = 1; i <= count; ++i) {
      const std::string section = std::to_string(i);
      QVERIFY2(!tips.ReadString(section, "Title", "").empty(), section.c_str());
      QVERIFY2(tips.ReadString(section, "Content", "").size() > 40, section.c_str());
    }
    QVERIFY(!tips.SectionExists(std::to_string(count + 1)));
  }

  void neverShowSurvivesARestart() {
    QFile::remove(FDir.filePath(QStringLiteral("Option.ini")));
    WriteFile(QStringLiteral("Tips.ini"), "[Count]\r\nValue=1\r\n[1]\r\nTitle=One\r\nContent=1\r\n");
    {
      app::Program program(FDir.path(), {});
      program.Start();
      app::TTipForm* tips = program.TipForm();
      QVERIFY(tips != nullptr && tips->isVisible());
      QCOMPARE(tips->Title(), QStringLiteral("One"));
      auto* never = Find<QCheckBox>(*tips, "chkTip");
      QVERIFY(!never->isChecked());
      QTest::mouseClick(never, Qt::LeftButton);
      QVERIFY(!Find<QCheckBox>(program.OptionForm(), "chkTip")->isChecked());
      QTest::mouseClick(Find<QPushButton>(*tips, "btnOK"), Qt::LeftButton);
      QVERIFY(!tips->isVisible());
    }
    const appcore::IniFile saved(FDir.filePath(QStringLiteral("Option.ini")).toStdString());
    QCOMPARE(saved.ReadString("General", "Display Tips", ""), std::string("0"));
    app::Program again(FDir.path(), {});
    again.Start();
    QVERIFY(again.TipForm() == nullptr);
    QVERIFY(!Find<QCheckBox>(again.OptionForm(), "chkTip")->isChecked());
  }

  // --- the version check

  void newerVersionOffersTheDownloadPage() {
    guitest::ScriptedDialogs dialogs;
    dialogs.Answers = {ui::Yes};
    TinyHttpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    WriteOptions(server);
    app::Program program(FDir.path(), {});
    QStringList opened;
    RunCheck(program, appcore::VersionCheckEntry::ToolsMenuItem, opened);
    QCOMPARE(server.Paths, QStringList{"/update.txt"});
    QCOMPARE(dialogs.Log.size(), std::size_t{1});
    QCOMPARE(dialogs.Log[0].Caption, QStringLiteral("Information"));
    QCOMPARE(dialogs.Log[0].Text,
             QStringLiteral("The latest version of Zantic is 4.0\n\rDo you want to download it now?"));
    QCOMPARE(dialogs.Log[0].Buttons, ui::Buttons{ui::Yes | ui::No});
    QCOMPARE(opened, QStringList{server.Site() + "/download.htm"});
    // No: nothing opens.
    dialogs.Answers = {ui::No};
    RunCheck(program, appcore::VersionCheckEntry::ToolsMenuItem, opened);
    QCOMPARE(opened.size(), 1);
  }

  // Opening the menu by its title to choose the item runs the item's check
  // alone; the title's own runs when the menu closes without a choice.
  void theToolsTitleChecksOnlyWhenNoItemIsChosen() {
    app::TForm1 form(FDir.path(), QStringLiteral("3.9"));
    QList<bool> checks;  // true: the title's rule
    form.OnCheckVersion = [&checks](bool title) { checks << title; };
    form.show();
    QMenu* tools = Find<QMenu>(form, "mnuTools");
    QTest::mouseClick(form.menuBar(), Qt::LeftButton, {}, form.menuBar()->actionGeometry(tools->menuAction()).center());
    QTRY_VERIFY(tools->isVisible());
    QTest::mouseClick(tools, Qt::LeftButton, {}, tools->actionGeometry(Find<QAction>(form, "mnuCheckVersion")).center());
    // The title's check would be posted as the menu closes.
    QTRY_VERIFY(!tools->isVisible());
    QVERIFY(guitest::PostedCallsRun(form));
    QCOMPARE(checks, QList<bool>{false});
    ClickToolsTitle(form);
    QTRY_COMPARE(checks, (QList<bool>{false, true}));
  }

  void theMarginOfTheMenuItemAndTheAutomaticCheck_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("newer");
    using E = appcore::VersionCheckEntry;
    QTest::newRow("item, equal") << int(E::ToolsMenuItem) << QByteArray("3.9") << false;
    QTest::newRow("item, +0.005") << int(E::ToolsMenuItem) << QByteArray("3.905") << false;
    QTest::newRow("item, +0.006") << int(E::ToolsMenuItem) << QByteArray("3.906") << true;
    QTest::newRow("automatic, +0.005") << int(E::Automatic) << QByteArray(" 3.905\r\n") << false;
    QTest::newRow("title, +0.005") << int(E::ToolsMenuTitle) << QByteArray("3.905") << true;
    QTest::newRow("title, equal") << int(E::ToolsMenuTitle) << QByteArray("3.9") << false;
    QTest::newRow("item, older") << int(E::ToolsMenuItem) << QByteArray("2.0") << false;
  }
  void theMarginOfTheMenuItemAndTheAutomaticCheck() {
    QFETCH(int, entry);
    QFETCH(QByteArray, body);
    QFETCH(bool, newer);
    guitest::ScriptedDialogs dialogs;
    dialogs.Answers = {ui::No};
    TinyHttpServer server;
    server.Body = body;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    WriteOptions(server);
    app::Program program(FDir.path(), {});
    QStringList opened;
    RunCheck(program, static_cast<appcore::VersionCheckEntry>(entry), opened);
    QCOMPARE(dialogs.Log.size(), std::size_t{1});
    if (newer)
      QVERIFY2(dialogs.Log[0].Text.startsWith(QStringLiteral("The latest version of Zantic is ")),
               qPrintable(dialogs.Log[0].Text));
    else
      QCOMPARE(dialogs.Log[0].Text, QStringLiteral("The current version is the latest version."));
  }

  void failuresGiveTheEntryPointsMessage_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    using E = appcore::VersionCheckEntry;
    const QString checking = QStringLiteral("Checking the latest version failed,please check your network.");
    const QString detect = QStringLiteral("Detect latest version failed,please check your network.");
    QTest::newRow("item, not a number") << int(E::ToolsMenuItem) << QByteArray("<html>new!</html>") << 200 << checking;
    QTest::newRow("automatic, not a number") << int(E::Automatic) << QByteArray("4.0beta") << 200 << detect;
    QTest::newRow("title, empty") << int(E::ToolsMenuTitle) << QByteArray() << 200 << detect;
    QTest::newRow("item, not found") << int(E::ToolsMenuItem) << QByteArray("4.0") << 404 << checking;
    QTest::newRow("item, too long") << int(E::ToolsMenuItem) << QByteArray(100000, '4') << 200 << checking;
  }
  void failuresGiveTheEntryPointsMessage() {
    QFETCH(int, entry);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, message);
    guitest::ScriptedDialogs dialogs;
    TinyHttpServer server;
    server.Body = body;
    server.Status = status;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    WriteOptions(server);
    app::Program program(FDir.path(), {});
    QStringList opened;
    RunCheck(program, static_cast<appcore::VersionCheckEntry>(entry), opened);
    QCOMPARE(dialogs.MessageTexts(), QStringList{message});
    QCOMPARE(dialogs.Log[0].Caption, QStringLiteral("Information"));
    QVERIFY(opened.isEmpty());
  }

  void aReplyWithADecimalPointIsReadUnderACommaLocale() {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    guitest::ScriptedDialogs dialogs;
    dialogs.Answers = {ui::No, ui::No};
    TinyHttpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    WriteOptions(server);
    app::Program program(FDir.path(), {});
    QStringList opened;
    server.Body = "4.0";
    RunCheck(program, appcore::VersionCheckEntry::ToolsMenuItem, opened);
    server.Body = "4,1";
    RunCheck(program, appcore::VersionCheckEntry::ToolsMenuItem, opened);
    QCOMPARE(dialogs.Log.size(), std::size_t{2});
    QVERIFY(dialogs.Log[0].Text.startsWith(QStringLiteral("The latest version of Zantic is 4.0")));
    QVERIFY(dialogs.Log[1].Text.startsWith(QStringLiteral("The latest version of Zantic is 4,1")));
  }

  void noAnswerEndsAtTheTimeOutAndTheWindowAnswersMeanwhile() {
    guitest::ScriptedDialogs dialogs;
    TinyHttpServer server;
    server.Silent = true;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    WriteOptions(server);
    app::Program program(FDir.path(), {});
    app::VersionCheck& check = program.Versions();
    check.SetTimeoutMs(1500);
    QSignalSpy finished(&check, &app::VersionCheck::Finished);
    QElapsedTimer clock;
    clock.start();
    guitest::Trigger(program.MainForm(), "mnuCheckVersion");
    QVERIFY2(clock.elapsed() < 100, "the check returns at once");
    QVERIFY(check.Running());
    // A second check while one runs does nothing.
    QVERIFY(!check.Start(appcore::VersionCheckEntry::ToolsMenuItem, nullptr, server.Site(), 3.9));
    // The windows take clicks while the request waits.
    program.OptionForm().ShowPage(app::TOptionForm::Page::General);
    program.OptionForm().show();
    QVERIFY(QTest::qWaitForWindowExposed(&program.OptionForm()));
    auto* box = Find<QCheckBox>(program.OptionForm(), "chkExit");
    const bool before = box->isChecked();
    // On the box itself: the caption ends well before the row does.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    QCOMPARE(box->isChecked(), !before);
    QVERIFY(dialogs.Log.empty());
    QTRY_VERIFY(!server.Paths.isEmpty());
    QVERIFY(finished.wait(10000));
    QVERIFY2(clock.elapsed() >= 1400, "ended by the time-out");
    QCOMPARE(dialogs.MessageTexts(),
             QStringList{QStringLiteral("Checking the latest version failed,please check your network.")});
    QVERIFY(!check.Running());
  }

  void aSiteThatIsNoWebAddressFailsWithoutARequest() {
    QCOMPARE(app::SiteUrl(QStringLiteral("ftp://zantic.example"), "/update.txt"), QUrl());
    QCOMPARE(app::SiteUrl(QStringLiteral("zantic"), "/update.txt"), QUrl());
    QCOMPARE(app::SiteUrl(QStringLiteral("http://zantic.example//"), "/update.txt").toString(),
             QStringLiteral("http://zantic.example/update.txt"));
    guitest::ScriptedDialogs dialogs;
    WriteFile(QStringLiteral("Option.ini"), "[General]\r\nDisplay Tips=0\r\nWebSite=not a site\r\n");
    app::Program program(FDir.path(), {});
    QStringList opened;
    RunCheck(program, appcore::VersionCheckEntry::Automatic, opened);
    QCOMPARE(dialogs.MessageTexts(), QStringList{QStringLiteral("Detect latest version failed,please check your network.")});
  }

  void theAutomaticCheckRunsOnceTwoSecondsAfterTheStartWindowShows() {
    guitest::ScriptedDialogs dialogs;
    TinyHttpServer server;
    server.Body = "3.9";
    QVERIFY(server.listen(QHostAddress::LocalHost));
    WriteOptions(server, "Detect New Version=1\r\n");
    app::Program program(FDir.path(), {});
    QSignalSpy finished(&program.Versions(), &app::VersionCheck::Finished);
    QElapsedTimer clock;
    clock.start();
    program.Start();
    QVERIFY(finished.wait(10000));
    QVERIFY(clock.elapsed() >= 1900);
    // The test machine has no drive: the start-up drive scan says so, which
    // is not the check's message.
    QStringList messages = dialogs.MessageTexts();
    messages.removeIf([](const QString& m) { return m.startsWith(QStringLiteral("Error initializing ASPI Layer")); });
    QCOMPARE(messages, QStringList{QStringLiteral("The current version is the latest version.")});
    program.StartForm().hide();
    program.StartForm().show();
    // Showing the window again arms no second check.
    const auto timers = program.StartForm().findChildren<QTimer*>(QStringLiteral("Timer1"));
    QCOMPARE(timers.size(), 1);
    QVERIFY(!timers.front()->isActive());
    QCOMPARE(server.Paths.size(), 1);
  }
};

QTEST_MAIN(TipsVersionTest)
#include "tips_version_test.moc"
