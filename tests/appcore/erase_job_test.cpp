// The erase job every front end runs: it reads and checks the disc of the
// drive its request names (not the chosen one), ends once, and tells a disc
// that cannot be erased without blanking anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "appcore/drive_jobs.h"
#include "appcore/erase_job.h"
#include "appcore/recorder_jobs_fixture.h"
#include "engine/interaction.h"
#include "vdrive/registration.h"

namespace {

using namespace appcore;

class EraseJobTest : public testsupport::RecorderJobs {
 protected:
  void SetUp() override {
    Attach({vdrive::TMedia::CdRw, vdrive::TMedia::CdR});
    for (const std::string& path : Paths) vdrive::RecorderFor(path)->ClearCommandLog();
    Answers.Notices = [this](const engine::DriveNotice& notice) { Notices.push_back(notice.Text); };
  }
  // Runs one check, and the blank when `go`, to its end.
  std::optional<EraseEnd> Erase(EraseJob& job, DriveJobs& jobs, const std::string& device, bool quick, bool go) {
    std::optional<EraseEnd> end;
    bool asked = false;
    EraseRequest request;
    request.Drive = device;
    request.Quick = quick;
    EraseEvents events;
    events.OnErasable = [&](std::uint8_t) {
      ++Erasable;
      asked = true;
      if (go) job.Go();
    };
    events.OnProgress = [&](int percent) { Percents.push_back(percent); };
    events.OnEnd = [&](const EraseEnd& e) {
      EXPECT_FALSE(end) << "a second end";
      end = e;
    };
    job.Check(std::move(request), std::move(events), std::make_shared<engine::NonInteractive>(Answers));
    const auto settled = [&] { return (end || (asked && !go)) && jobs.Idle() && !job.Running(); };
    for (int i = 0; i < 300 && !settled(); ++i) Queue.RunPending(std::chrono::milliseconds(100));
    Queue.RunPending(std::chrono::milliseconds(50));  // a second end would come now
    return end;
  }
  static int Blanks(const std::string& path) {
    const auto log = vdrive::RecorderFor(path)->CommandLog();
    return static_cast<int>(std::count_if(log.begin(), log.end(), [](const auto& c) { return c.Opcode() == 0xA1; }));
  }
  // Paths and Devices: the CD-RW, the CD-R.
  engine::NonInteractiveAnswers Answers;
  std::vector<std::string> Notices;
  std::vector<int> Percents;
  int Erasable = 0;
};

TEST_F(EraseJobTest, ErasesTheDriveItNamesOnceAndRefusesAWriteOnceDisc) {
  DriveJobs jobs(Burner, Queue);
  jobs.ChooseDevice(Devices[1]);  // the drive box shows the CD-R
  EraseJob job(Burner, jobs, Queue);

  std::optional<EraseEnd> end = Erase(job, jobs, Devices[0], true, true);
  ASSERT_TRUE(end);
  EXPECT_TRUE(end->Erased);
  EXPECT_FALSE(end->Refused);
  EXPECT_FALSE(job.Running());
  EXPECT_EQ(Erasable, 1);
  EXPECT_EQ(Blanks(Paths[0]), 1);
  EXPECT_EQ(Blanks(Paths[1]), 0) << "the chosen drive was blanked";
  ASSERT_FALSE(Percents.empty());
  EXPECT_TRUE(std::is_sorted(Percents.begin(), Percents.end()));
  EXPECT_EQ(Percents.back(), 100);
  EXPECT_TRUE(Notices.empty());

  // A person who says No: nothing blanks and no end comes.
  EXPECT_FALSE(Erase(job, jobs, Devices[0], true, false));
  EXPECT_EQ(Erasable, 2);
  EXPECT_EQ(Blanks(Paths[0]), 1);

  // A CD-R, named by nothing but the drive box.
  end = Erase(job, jobs, std::string(), false, true);
  ASSERT_TRUE(end);
  EXPECT_TRUE(end->Refused);
  EXPECT_FALSE(end->Erased);
  EXPECT_EQ(Erasable, 2);
  EXPECT_EQ(Blanks(Paths[1]), 0);
  EXPECT_EQ(Notices, std::vector<std::string>{"Disc is not Erasable"});
}

}  // namespace
