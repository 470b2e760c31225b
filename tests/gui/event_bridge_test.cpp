// The engine's events and questions reach the window's thread, and answers
// go back to the asking thread.
#include <QTest>
#include <QThread>
#include <atomic>
#include <memory>
#include <thread>

#include "base/cancel_token.h"
#include "gui/scripted_dialogs.h"
#include "ui/dialog_interaction.h"
#include "ui/qt_dispatcher.h"

class EventBridgeTest : public QObject {
  Q_OBJECT
 private slots:
  void postedCallsRunOnTheContextsThread() {
    QObject context;
    ui::QtDispatcher dispatcher(&context);
    std::atomic<int> ran{0};
    std::atomic<bool> onWindowThread{true};
    QThread* const windowThread = QThread::currentThread();
    std::thread worker([&] {
      for (int i = 0; i < 50; ++i)
        dispatcher.Post([&] {
          if (QThread::currentThread() != windowThread) onWindowThread = false;
          ++ran;
        });
    });
    worker.join();
    QCOMPARE(ran.load(), 0);  // nothing runs until the event loop does
    QTRY_COMPARE(ran.load(), 50);
    QVERIFY(onWindowThread.load());
  }

  void callsQueuedForAGoneContextAreDropped() {
    auto context = std::make_unique<QObject>();
    ui::QtDispatcher dispatcher(context.get());
    int ran = 0;
    dispatcher.Post([&] { ++ran; });
    context.reset();
    dispatcher.Post([&] { ++ran; });  // after the context: never queued
    QCoreApplication::sendPostedEvents();
    QCOMPARE(ran, 0);
  }

  void aWorkersQuestionIsAnsweredByTheDialogsOnTheWindowThread() {
    guitest::ScriptedDialogs dialogs;
    dialogs.Answers = {ui::Retry, ui::Cancel, ui::No};
    QObject context;
    ui::QtDispatcher dispatcher(&context);
    ui::DialogInteraction boxes;
    engine::DispatchedInteraction questions(boxes, dispatcher);
    std::atomic<bool> done{false};
    engine::NotReadyAnswer first{}, second{};
    engine::OverwriteAnswer third{};
    std::thread worker([&] {
      first = questions.DriveNotReady({"E", "Drive E: is not ready."});
      second = questions.InsertDisc({"E", "Insert a disc."});
      third = questions.OverwriteFile("/tmp/x");
      done = true;
    });
    QTRY_VERIFY(done.load());
    worker.join();
    QCOMPARE(first, engine::NotReadyAnswer::Retry);
    QCOMPARE(second, engine::NotReadyAnswer::Cancel);
    QCOMPARE(third, engine::OverwriteAnswer::Skip);
    QCOMPARE(dialogs.MessageTexts(), (QStringList{"Drive E: is not ready.", "Insert a disc.",
                                                  "The file /tmp/x already exists.\nDo you want to replace it?"}));
    QCOMPARE(dialogs.Log.front().Caption, QStringLiteral("Informaiton"));
  }

  void aCancelEndsTheWaitForAnAnswer() {
    QObject context;
    ui::QtDispatcher dispatcher(&context);
    ui::DialogInteraction boxes;
    auto cancel = std::make_shared<base::CancelToken>();
    engine::DispatchedInteraction questions(boxes, dispatcher, cancel);
    std::atomic<bool> done{false};
    engine::NotReadyAnswer answer = engine::NotReadyAnswer::Retry;
    // The window's thread never runs its events here: only the cancel ends it.
    std::thread worker([&] {
      answer = questions.DriveNotReady({"E", "not ready"});
      done = true;
    });
    cancel->Cancel();
    worker.join();
    QVERIFY(done.load());
    QCOMPARE(answer, engine::NotReadyAnswer::Cancel);
  }
};

QTEST_MAIN(EventBridgeTest)
#include "event_bridge_test.moc"
