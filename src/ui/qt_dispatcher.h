#pragma once
// The engine's events, posted from its worker threads, run on the window's
// thread: each call is queued into the Qt event loop of `context`'s thread.
// Calls still queued when the context goes are dropped, so a window that
// closes never receives an event for a burner it no longer owns.
#include <QObject>
#include <QPointer>

#include "engine/dispatch/dispatcher.h"

namespace ui {

class QtDispatcher final : public dispatch::Dispatcher {
 public:
  explicit QtDispatcher(QObject* context) : FContext(context) {}
  void Post(std::function<void()> call) override;

 private:
  QPointer<QObject> FContext;
};

}  // namespace ui
