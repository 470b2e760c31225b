// The scheduled-start entry as the value "Zantic Schedule" of the Run key
// under HKEY_LOCAL_MACHINE, read back through the registry itself.
#include <windows.h>

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "appcore/schedule.h"
#include "appcore/texts.h"
#include "platform/autostart.h"
#include "platform/process.h"

namespace {

using namespace appcore;

constexpr const wchar_t* kRunKey = L"software\\microsoft\\windows\\currentversion\\run";

std::optional<std::wstring> RunValue() {
  wchar_t value[1024] = {};
  DWORD bytes = sizeof value;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kRunKey, L"Zantic Schedule", RRF_RT_REG_SZ, nullptr, value, &bytes) !=
      ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(value);
}

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(ScheduledStart, RunKeyValueFollowsAutoExecuteAndTasks) {
  if (!UnderWine() && !platform::GetEnvironment("ZANTIC_TEST_RUN_KEY"))
    GTEST_SKIP() << "changes the machine's Run key: runs under wine, or with ZANTIC_TEST_RUN_KEY set";
  EXPECT_EQ(platform::AutostartEntryPath(kScheduledStartName),
            "HKEY_LOCAL_MACHINE\\software\\microsoft\\windows\\currentversion\\run\\Zantic Schedule");
  ASSERT_TRUE(UpdateScheduledStart(false, 0, "").Ok());
  ASSERT_FALSE(RunValue().has_value());

  ASSERT_TRUE(UpdateScheduledStart(true, 0, "C:\\z\\zantic.exe").Ok());
  EXPECT_FALSE(RunValue().has_value()) << "no task, no entry";
  // A folder name outside every ANSI code page must reach the registry whole.
  const std::string exe = "C:\\Программы \u6587\\zantic.exe";
  ASSERT_TRUE(UpdateScheduledStart(true, 1, exe).Ok());
  EXPECT_EQ(RunValue(), L"\"C:\\Программы \u6587\\zantic.exe\" -Schedule");
  EXPECT_TRUE(platform::AutostartEntryExists(kScheduledStartName));
  ASSERT_TRUE(UpdateScheduledStart(true, 2, "C:\\elsewhere\\zantic.exe").Ok());
  EXPECT_EQ(RunValue(), L"\"C:\\Программы \u6587\\zantic.exe\" -Schedule") << "an existing value is not rewritten";
  ASSERT_TRUE(UpdateScheduledStart(false, 2, "C:\\z\\zantic.exe").Ok());
  EXPECT_FALSE(RunValue().has_value());
  EXPECT_TRUE(UpdateScheduledStart(true, 0, "").Ok()) << "removing what is not there is no failure";
}

}  // namespace
