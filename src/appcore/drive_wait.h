#pragma once
// The wait for a disc before a burn or a scheduled run: TEST UNIT READY,
// and while the drive is not ready, eject and ask as the options say. The
// question goes through the engine's interaction interface, so the windows
// ask with a message box and the command line answers from its options.
#include <cstdint>
#include <string>

#include "appcore/schedule.h"
#include "base/cancel_token.h"
#include "engine/interaction.h"

namespace engine {
class TKavoBurner;
}

namespace appcore {

enum class DiscWait { Ready, Cancelled };

struct DiscWaitSettings {
  NotReadyAction Action = NotReadyAction::Ask;
  std::string Text;               // the question, complete
  std::uint32_t RetryPauseMs = 0;  // after Retry, before the next test
  const base::CancelToken* Cancel = nullptr;
};

DiscWait WaitForDisc(engine::TKavoBurner& burner, engine::Interaction& ask, const DiscWaitSettings& settings);

}  // namespace appcore
