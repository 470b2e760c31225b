// The disc-information list over an image's sessions.
#include "engine/session_list.h"
#include "import_fixture.h"

namespace importtest {
namespace {

TEST_F(ImportTest, SessionListLines) {
  // Two sessions of 1000 and 1400 sectors; the second's descriptor is unreadable.
  std::vector<std::uint8_t> img = Craft(2400, 20, 2048, {});
  const std::vector<std::uint8_t> second = Craft(1400, 20, 2048, {});
  std::copy(second.begin(), second.end(), img.begin() + 1000 * 2048);
  Use(img);
  Source->SetSessionStarts({0, 1000});
  EXPECT_EQ(engine::SessionListLines(*Source), (std::vector<std::string>{
                                                   "  001      000:02:00     2 MB",
                                                   "  002      000:15:25     3 MB",
                                                   " Free      000:34:00     0 MB",
                                               }));
  Source->FailingSectors = {1016};
  EXPECT_EQ(engine::SessionListLines(*Source)[1], "  002      000:15:25  ???? MB");
}

}  // namespace
}  // namespace importtest
