// Notices told by the first steps that the windows and zantic-cli share:
// once, through the Interaction, whoever runs the operation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "appcore/burn_job.h"
#include "appcore/options.h"
#include "appcore/task_burn.h"
#include "appcore/texts.h"
#include "engine/interaction.h"
#include "vdrive/engine_fixture.h"

namespace vdrivetest {
namespace {

using vdrive::TMedia;

// Notes each notice; questions are counted and cancelled.
class TRecordingAsk final : public engine::Interaction {
 public:
  engine::NotReadyAnswer DriveNotReady(const engine::DriveQuestion&) override {
    ++Asked;
    return engine::NotReadyAnswer::Cancel;
  }
  engine::NotReadyAnswer InsertDisc(const engine::DriveQuestion&) override {
    ++Asked;
    return engine::NotReadyAnswer::Cancel;
  }
  engine::OverwriteAnswer OverwriteFile(const std::string&) override {
    ++Asked;
    return engine::OverwriteAnswer::Cancel;
  }
  void Notice(const engine::DriveNotice& n) override { Notices.push_back(n); }
  std::vector<engine::DriveNotice> Notices;
  int Asked = 0;
};

class TaskNotices : public EngineRecorderTest {
 protected:
  TaskNotices() : EngineRecorderTest("vdrive-notices") {}
  void Attach(TMedia media) { AttachRecorder(media, 4000); }
  void TearDown() override { DetachRecorder(); }
};

// A drive that cannot write is told once, by the shared first steps, to
// whoever runs the task; "Cancel the task." keeps a scheduled run silent.
TEST_F(TaskNotices, ADriveThatCannotWriteIsToldOnceThroughTheInteraction) {
  Attach(TMedia::CdR);
  vdrive::TFaults noCapabilities;  // MODE SENSE refused: no write capability known
  noCapabilities.RefuseOpcode = 0x5A;
  noCapabilities.RefuseAlways = true;
  Shared->SetFaults(noCapabilities);
  appcore::Options options;
  appcore::TaskBurnSetup setup;
  setup.Device = Burner.DeviceId();
  TRecordingAsk person;
  setup.Ask = &person;
  EXPECT_EQ(appcore::PrepareTaskDrive(options, setup, Burner).Step, appcore::TaskBurnStep::NotRecorder);
  ASSERT_EQ(person.Notices.size(), 1u);
  EXPECT_EQ(person.Notices[0].Kind, engine::NoticeKind::DriveCannotWrite);
  EXPECT_EQ(person.Notices[0].Text, appcore::texts::kDriveNotRecorder);
  EXPECT_EQ(person.Asked, 0);

  setup.Scheduled = true;
  options.CancelTask = true;
  TRecordingAsk schedule;
  setup.Ask = &schedule;
  EXPECT_EQ(appcore::PrepareTaskDrive(options, setup, Burner).Step, appcore::TaskBurnStep::NotRecorder);
  EXPECT_TRUE(schedule.Notices.empty());
  options.CancelTask = false;
  EXPECT_EQ(appcore::PrepareTaskDrive(options, setup, Burner).Step, appcore::TaskBurnStep::NotRecorder);
  EXPECT_EQ(schedule.Notices.size(), 1u);
}

// The erase's check, shared by the window and the command line: a CD-R is
// refused with one notice, a CD-RW passes without one.
TEST_F(TaskNotices, ADiscThatCannotBeErasedIsToldOnce) {
  for (const TMedia media : {TMedia::CdR, TMedia::CdRw}) {
    Attach(media);
    TRecordingAsk ask;
    const bool erasable = media == TMedia::CdRw;
    EXPECT_EQ(appcore::CheckErasable(Burner, false, Burner.DetectMediaType(), ask), erasable);
    ASSERT_EQ(ask.Notices.size(), erasable ? 0u : 1u);
    for (const engine::DriveNotice& n : ask.Notices) EXPECT_EQ(n.Text, appcore::texts::kNotErasable);
  }
}

}  // namespace
}  // namespace vdrivetest
