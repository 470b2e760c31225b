// A burn started from an event loop: one typed end, delivered through the
// dispatcher, on the virtual recorder.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "appcore/burn_run.h"
#include "appcore/drive_select.h"
#include "engine/dispatch/dispatcher.h"
#include "engine/kavo_burner.h"
#include "support/temp_dir.h"
#include "vdrive/disc_image.h"
#include "vdrive/registration.h"

namespace {

using namespace appcore;

class BurnRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Disc = Dir.Str() + "/disc.zvd";
    ASSERT_TRUE(vdrive::TDiscFile::Create(Disc, vdrive::BlankDisc(vdrive::TMedia::CdRw, 4000)));
    vdrive::RegisterVirtualRecorderFor(Disc);
    const DriveChoice drive = SelectDrive(Burner, Disc);
    ASSERT_TRUE(drive.Selected()) << drive.Text;
    Burner.SetDispatcher(&Queue);
  }
  void TearDown() override {
    Burner.SetDispatcher(nullptr);
    vdrive::UnregisterVirtualRecorders();
  }
  void Fill() {
    Burner.ResetCompilation(1000, 100);
    ASSERT_EQ(Burner.AddFileToCompilation("\\", Dir.Write("a.txt", Payload), false), 1);
  }
  // Runs the loop until the end; `cancel` cancels right after the start.
  BurnEnd Burn(BurnRequest request, bool cancel = false) {
    Fill();
    std::optional<BurnEnd> end;
    int ends = 0;
    {
      BurnRun run(Burner);
      run.Start(request, [&](const BurnEnd& e) {
        end = e;
        ++ends;
      });
      if (cancel) run.Cancel();
      for (int i = 0; i < 600 && !end; ++i) Queue.RunPending(std::chrono::milliseconds(100));
      Burner.WaitForOperation();
      Queue.RunPending(std::chrono::milliseconds(0));
    }
    EXPECT_EQ(ends, 1);
    return end.value_or(BurnEnd{});
  }
  testsupport::TempDir Dir;
  std::string Disc;
  std::string Payload = "hello";
  engine::TKavoBurner Burner;
  dispatch::QueueDispatcher Queue;
};

TEST_F(BurnRunTest, EndsOnceWithATypedOutcome) {
  Burner.SetTestWrite(true);
  const BurnEnd test = Burn({"", true});
  EXPECT_EQ(test.Outcome, BurnOutcome::Done) << test.Error;
  EXPECT_TRUE(test.TestWrite);
  EXPECT_FALSE(test.Verified);  // nothing was recorded to read back

  Burner.SetTestWrite(false);
  // Slow enough that the cancel always lands while the data is written.
  vdrive::TFaults slow;
  slow.ThrottleKBps = 2000;
  vdrive::RecorderFor(Disc)->SetFaults(slow);
  Payload.assign(4u << 20, 'z');
  const BurnEnd aborted = Burn({"", true}, true);
  EXPECT_EQ(aborted.Outcome, BurnOutcome::Aborted) << aborted.Error;
  vdrive::RecorderFor(Disc)->SetFaults({});
  Payload = "hello";

  const BurnEnd done = Burn({"", true});
  EXPECT_EQ(done.Outcome, BurnOutcome::Done) << done.Error;
  EXPECT_TRUE(done.Verified);
  EXPECT_GE(done.Sectors, 300u);
  EXPECT_FALSE(Burner.OnWriteDone);  // the run's handlers are gone with it

  const BurnEnd missing = Burn({Dir.Str() + "/no such.iso", false});
  EXPECT_EQ(missing.Outcome, BurnOutcome::Failed);
  EXPECT_FALSE(missing.Error.empty());
}

}  // namespace
