#pragma once
// Finding controls by name and waiting for the window's long work.
#include <QAbstractItemModel>
#include <QAction>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <memory>

#include "app/main_form.h"

namespace guitest {

template <typename T>
T* Find(QObject& window, const char* name) {
  T* found = window.findChild<T*>(QString::fromUtf8(name));
  if (found == nullptr) qWarning("no control named %s", name);
  return found;
}

inline void Click(QObject& window, const char* button) {
  QToolButton* tool = Find<QToolButton>(window, button);
  if (tool != nullptr) {
    QTest::mouseClick(tool, Qt::LeftButton);
    return;
  }
  if (QAction* action = Find<QAction>(window, button)) action->trigger();
}

inline void Trigger(QObject& window, const char* action) {
  if (QAction* found = Find<QAction>(window, action)) found->trigger();
}

// Waits until the window's loading or measuring has ended.
inline bool WaitIdle(app::TForm1& form, int ms = 20000) {
  if (!form.Busy()) return true;
  QSignalSpy done(&form, &app::TForm1::BusyFinished);
  return done.wait(ms) || !form.Busy();
}

// Waits until the task being saved is written.
inline bool WaitSaved(app::TForm1& form, int ms = 20000) {
  if (!form.Saving()) return true;
  QSignalSpy done(&form, &app::TForm1::SaveFinished);
  return done.wait(ms) || !form.Saving();
}

// Waits until every call posted to `context`'s thread before this one has
// run: posted calls run in the order they were posted.
inline bool PostedCallsRun(QObject& context, int ms = 20000) {
  auto reached = std::make_shared<bool>(false);  // outlives a wait that gave up
  QMetaObject::invokeMethod(&context, [reached] { *reached = true; }, Qt::QueuedConnection);
  return QTest::qWaitFor([&reached] { return *reached; }, ms);
}

// The captions of a name-list model's rows, or of a folder item's children.
inline QStringList Rows(const QAbstractItemModel& model, int column = 0) {
  QStringList rows;
  for (int row = 0; row < model.rowCount(); ++row) rows << model.index(row, column).data().toString();
  return rows;
}

inline QStringList Children(const QTreeWidgetItem* item) {
  QStringList names;
  for (int i = 0; item != nullptr && i < item->childCount(); ++i) names << item->child(i)->text(0);
  return names;
}

}  // namespace guitest
