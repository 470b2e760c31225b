#pragma once
// Disc work the windows start (reading the disc information, a session
// import, an extraction) runs on the burner's worker; meanwhile a small
// modal window shows what is done and offers Cancel, and the window's
// thread keeps drawing.
#include <QString>
#include <functional>

#include "engine/kavo_burner.h"

class QWidget;

namespace appcore {
class DriveJobs;
}

namespace app {

enum class WorkOutcome { Done, Cancelled, NotStarted };

// `work` runs off the window's thread; it returns when the work has ended.
// NotStarted, after telling the person, when another operation is running.
WorkOutcome RunWithProgress(QWidget* parent, engine::TKavoBurner& burner, engine::OperationPhase phase,
                            const QString& text, std::function<void(engine::TKavoBurner&)> work);
// The same as a job of the program's queue, holding the program meanwhile:
// NotStarted when another operation holds it.
WorkOutcome RunWithProgress(QWidget* parent, engine::TKavoBurner& burner, appcore::DriveJobs& jobs,
                            engine::OperationPhase phase, const QString& text,
                            std::function<void(engine::TKavoBurner&)> work);

}  // namespace app
