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

// `work` runs as a job of the program's queue (`burner`'s), holding the
// program meanwhile; it returns when the work has ended. NotStarted, after
// telling the person, when another operation holds the program.
WorkOutcome RunWithProgress(QWidget* parent, engine::TKavoBurner& burner, appcore::DriveJobs& jobs,
                            engine::OperationPhase phase, const QString& text,
                            std::function<void(engine::TKavoBurner&)> work);

}  // namespace app
