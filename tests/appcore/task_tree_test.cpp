#include "appcore/task_tree.h"

#include <algorithm>
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "appcore/texts.h"
#include "engine/iso/disc_source.h"
#include "engine/kavo_burner.h"
#include "platform/file_find.h"
#include "support/temp_dir.h"

namespace {

using namespace appcore;

std::string RoundTrip(const TaskNode& root) {
  auto parsed = ParseTaskText(BuildTaskText(root) + "\r\n");
  EXPECT_TRUE(parsed.Ok()) << BuildTaskText(root);
  return parsed.Ok() ? BuildTaskText(*parsed.Value().Root) : std::string();
}

TEST(TaskFile, WritesTheKnownLinesByteForByte) {
  testsupport::TempDir dir;
  TaskTree task = NewTask(RootText(2026, 12, 8));
  const std::string rootOnly = dir.Str() + "/root.mvt";
  ASSERT_TRUE(WriteTaskFile(rootOnly, *task.Root).Ok());
  EXPECT_EQ(testsupport::ReadAll(rootOnly), std::vector<std::uint8_t>({'M', 'y', ' ', 'D', 'i', 's', 'c', ' ', '1', '2',
                                                                       '_', '8', '_', '2', '6', '(', ')', '#', '\r', '\n'}));

  task.Root->AddFolder("Docs").AddItem("C:\\a.txt", FormatSize(1234));
  EXPECT_EQ(BuildTaskText(*task.Root), "My Disc 12_8_26(Docs(C:\\a.txt*1,234()#)#)#");
  task.Root->AddItem("C:\\empty.txt", FormatSize(0));
  EXPECT_EQ(BuildTaskText(*task.Root), "My Disc 12_8_26(Docs(C:\\a.txt*1,234()#)#C:\\empty.txt*()#)#");
  EXPECT_EQ(RootText(2005, 1, 31), "My Disc 1_31_05");
}

TEST(TaskFile, SizeTextsCountOnlyTheirDigits) {
  struct Case {
    const char* Text;
    std::int64_t Bytes;
  } const cases[] = {{"", 0}, {"1,234", 1234}, {"1.234.567", 1234567}, {"1 234", 1234}, {"abc", 1}, {",", 1},
                     {"99999999999999999999", 1}};
  for (const auto& c : cases) EXPECT_EQ(SizeOfText(c.Text), c.Bytes) << c.Text;
  EXPECT_EQ(FormatSize(0), "");
  EXPECT_EQ(FormatSize(999), "999");
  EXPECT_EQ(FormatSize(1000), "1,000");
  EXPECT_EQ(FormatSize(52428800, "."), "52.428.800");

  auto parsed = ParseTaskText("T(D(a*1.000()#b*2 000()#)#c*()#d*x()#)#\r\n");
  ASSERT_TRUE(parsed.Ok());
  EXPECT_EQ(SumNodeSizes(*parsed.Value().Root), 3001);
  EXPECT_EQ(SumNodeSizes(*parsed.Value().Root->Children[0]), 3000);
}

TEST(TaskFile, SizeBarRoundsHalvesToEven) {
  constexpr std::int64_t kMB = 1048576;
  EXPECT_EQ(ComputeSizeBar(5250 * kMB).Width, 969);
  EXPECT_EQ(ComputeSizeBar(2625 * kMB).Width, 484);
  EXPECT_EQ(ComputeSizeBar(2625 * kMB).Hint, "2625 MB");
  EXPECT_EQ(ComputeSizeBar(kMB / 2).TotalMB, 0);
  EXPECT_EQ(ComputeSizeBar(kMB + kMB / 2).TotalMB, 2);
  EXPECT_EQ(ComputeSizeBar(0).Width, 0);
}

TEST(TaskFile, AwkwardTextsComeBackAsTheyWere) {
  TaskTree task = NewTask("Backup (daily)");
  TaskNode& folder = task.Root->AddFolder("a*b");
  folder.AddItem("C:\\Program Files (x86)\\app\\x.dll", "1,234");
  folder.AddItem("/home/u/odd*name#1%20.txt", "5");
  folder.AddFolder(")starts");
  task.Root->AddFolder(")%looks escaped");
  task.Root->AddItem("/tmp/line\nbreak", "");
  task.Root->AddItem("C:\\C#\\100%\\plain.txt", "7");
  const std::string text = BuildTaskText(*task.Root);
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_NE(text.find("C:\\C#\\100%\\plain.txt*7()#"), std::string::npos) << "plain texts stay plain";
  EXPECT_EQ(RoundTrip(*task.Root), text);

  auto parsed = ParseTaskText(text);
  ASSERT_TRUE(parsed.Ok());
  const TaskNode& root = *parsed.Value().Root;
  EXPECT_EQ(root.Name, "Backup (daily)");
  EXPECT_FALSE(root.Children[0]->IsItem());
  EXPECT_EQ(root.Children[0]->Name, "a*b");
  EXPECT_EQ(root.Children[0]->Children[1]->Name, "/home/u/odd*name#1%20.txt");
  EXPECT_EQ(root.Children[0]->Children[2]->Name, ")starts");
  EXPECT_EQ(root.Children[2]->Name, "/tmp/line\nbreak");
}

TEST(TaskFile, OlderFilesReadAsBefore) {
  auto parsed = ParseTaskText("Weekly(C:\\Data*1,234()#C:\\50%) off\\x*9()#)#\r\n");
  ASSERT_TRUE(parsed.Ok());
  const TaskNode& root = *parsed.Value().Root;
  ASSERT_EQ(root.Children.size(), 2u);
  EXPECT_EQ(root.Children[0]->Name, "C:\\Data");
  EXPECT_EQ(root.Children[0]->SizeText, "1,234");
  EXPECT_EQ(root.Children[1]->Name, "C:\\50%) off\\x");
  EXPECT_TRUE(ParseTaskText("").Value().Empty());
}

TEST(TaskFile, DamagedTextIsRefusedNotLooped) {
  for (const char* bad : {"Root", "Root(", "Root(a(", "Root()", "Root()#x", "Root()y#)#", "Root(a()#)#)#",
                          "Root()%%4()#)#", "Root()%%zz()#)#"}) {
    auto parsed = ParseTaskText(bad);
    ASSERT_FALSE(parsed.Ok()) << bad;
    EXPECT_EQ(parsed.Err().Kind, base::ErrorKind::InvalidData) << bad;
  }
  std::string deep = "R(";
  for (std::size_t i = 0; i < kMaxTaskDepth + 5; ++i) deep += "d(";
  EXPECT_EQ(ParseTaskText(deep).Err().Message, texts::kTaskFileNesting);
}

TEST(TaskFile, LargeTasksParseInLinearTime) {
  std::string text = "Big(";
  for (int f = 0; f < 100; ++f) {
    text += "Folder" + std::to_string(f) + "(";
    for (int i = 0; i < 2000; ++i) text += "/data/f" + std::to_string(f) + "/file" + std::to_string(i) + "*1,024()#";
    text += ")#";
  }
  text += ")#\r\n";
  const auto start = std::chrono::steady_clock::now();
  auto parsed = ParseTaskText(text);
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(parsed.Ok());
  EXPECT_EQ(SumNodeSizes(*parsed.Value().Root), 100 * 2000 * 1024);
  EXPECT_LT(took, std::chrono::seconds(10));  // quadratic work on 200,000 nodes takes far longer
}

TEST(TaskFile, FindDataNodeMatchesTextAndDepthInPreOrder) {
  TaskTree task = NewTask("R");
  TaskNode& a = task.Root->AddFolder("A");
  TaskNode& deepX = a.AddFolder("X");
  TaskNode& shallowX = task.Root->AddFolder("X");
  TaskNode& item = a.AddItem("/p", "1");
  EXPECT_EQ(FindDataNode(*task.Root, "X", 1), &shallowX);
  EXPECT_EQ(FindDataNode(*task.Root, "X", 2), &deepX);
  EXPECT_EQ(FindDataNode(*task.Root, "/p*1", 2), &item);
  EXPECT_EQ(FindDataNode(*task.Root, "x", 1), nullptr);
}

TEST(Transfer, BuildsTheCompilationFromTheTree) {
  testsupport::TempDir dir;
  const std::string file = dir.Write("src/a.txt", "aaaa");
  dir.Write("src/Photos/one.jpg", "1");
  dir.Write("src/Photos/sub/two.jpg", "22");
  dir.Write("src/set.2024/three.jpg", "333");
  TaskTree task = NewTask("R");
  TaskNode& docs = task.Root->AddFolder("Docs");
  docs.AddItem(file, "4");
  docs.AddItem(dir.Str() + "/src/Photos", "3");
  task.Root->AddItem(dir.Str() + "/src/set.2024/", "3");
  task.Root->AddItem(dir.Str() + "/gone.txt", "1");
  task.Root->AddFolder("Empty");

  engine::TKavoBurner burner;
  burner.ResetCompilation(1000, 100);
  auto report = PrepareCompilation(task, burner, false, 0);
  ASSERT_TRUE(report.Ok());
  EXPECT_EQ(report.Value().MissingSources, std::vector<std::string>{dir.Str() + "/gone.txt"});
  const auto& tables = burner.Tables();
  ASSERT_NE(burner.FindCompilationDir("\\Docs"), nullptr);
  EXPECT_NE(burner.FindCompilationDir("\\Empty"), nullptr);
  EXPECT_NE(tables.FindEntry(*burner.FindCompilationDir("\\Docs"), "a.txt"), nullptr);
  ASSERT_NE(burner.FindCompilationDir("\\Docs\\Photos\\sub"), nullptr);
  EXPECT_NE(tables.FindEntry(*burner.FindCompilationDir("\\Docs\\Photos\\sub"), "two.jpg"), nullptr);
  ASSERT_NE(burner.FindCompilationDir("\\set.2024"), nullptr);
  EXPECT_NE(tables.FindEntry(*burner.FindCompilationDir("\\set.2024"), "three.jpg"), nullptr);
  EXPECT_EQ(tables.FindEntry(*burner.FindCompilationDir("\\"), "gone.txt"), nullptr);
}

TEST(Transfer, FolderNamesThatLeadElsewhereAreRefused) {
  testsupport::TempDir dir;
  const std::string file = dir.Write("FILE", "x");
  // What a crafted task file tried: folders "..", "../../etc" and "." in the image.
  for (const std::string& name : std::vector<std::string>{"..", "../../etc", ".", "a\\b"}) {
    const auto parsed = ParseTaskText("T(" + name + "(" + file + "*1()#)#)#");
    ASSERT_FALSE(parsed.Ok()) << name;
    EXPECT_EQ(parsed.Err().Message, texts::kTaskFileBadFolderName + name);
  }
  // A tree built in memory meets the engine's own refusal: nothing of it goes in.
  TaskTree task = NewTask("T");
  task.Root->AddFolder("..").AddItem(file, "1");
  task.Root->AddFolder("ok").AddItem(file, "1");
  engine::TKavoBurner burner;
  std::vector<std::string> log;
  burner.OnDebugMessage = [&](device::TSCSIDevice&, const std::string& m, std::uint8_t) { log.push_back(m); };
  auto report = PrepareCompilation(task, burner, false, 0);
  ASSERT_TRUE(report.Ok());
  EXPECT_EQ(report.Value().RefusedFolders, std::vector<std::string>{".."});
  EXPECT_TRUE(report.Value().MissingSources.empty());
  EXPECT_EQ(burner.CompilationDirCount(), 1u);
  EXPECT_EQ(burner.Tables().FindEntry(*burner.Tables().Root(), "FILE."), nullptr);
  EXPECT_NE(std::find(log.begin(), log.end(), ">>> INVALID FOLDER NAME, NOT ADDED \"..\""), log.end());
}

TEST(Transfer, ArchiveOnlyReachesTheFolderAdd) {
  testsupport::TempDir dir;
  dir.Write("src/new.txt", "n");
  const std::string saved = dir.Write("src/saved.txt", "s");
  platform::FindData cleared;
  if (!platform::ClearArchiveAttribute(saved) || !platform::GetFileInfo(saved, cleared) ||
      (cleared.Attributes & platform::kAttrArchive) != 0)
    GTEST_SKIP() << "the file system here keeps no archive attribute";
  TaskTree task = NewTask("R");
  task.Root->AddItem(dir.Str() + "/src", "2");
  for (const bool archiveOnly : {false, true}) {
    engine::TKavoBurner burner;
    burner.ResetCompilation(100, 10);
    ASSERT_TRUE(PrepareCompilation(task, burner, archiveOnly, 0).Ok());
    const engine::TDEntry* src = burner.FindCompilationDir("\\src");
    ASSERT_NE(src, nullptr);
    EXPECT_NE(burner.Tables().FindEntry(*src, "new.txt"), nullptr);
    EXPECT_EQ(burner.Tables().FindEntry(*src, "saved.txt") != nullptr, !archiveOnly);
  }
}

TEST(Transfer, RefusesAnEmptyTaskAndImportsTheSessionBeforeTheTask) {
  testsupport::TempDir dir;
  const std::string image = dir.Str() + "/old.iso";
  {
    engine::TKavoBurner old;
    ASSERT_EQ(old.AddFileToCompilation("\\", dir.Write("old.txt", "earlier"), false), 1);
    ASSERT_EQ(old.WriteImageFile(image, engine::SaveMode::Quick), 1);
  }
  auto disc = iso::ImageSource::OpenFile(image);
  ASSERT_TRUE(disc.Ok());
  engine::TKavoBurner burner;
  burner.SetDiscSource(disc.Value().get());
  burner.ResetCompilation(100, 10);
  TaskTree task = NewTask("R");
  EXPECT_EQ(PrepareCompilation(task, burner, false, -1).Err().Message, texts::kNothingSelected);
  EXPECT_EQ(burner.CompilationEntryCount(), 0u);
  task.Root->AddFolder("D");
  ASSERT_TRUE(PrepareCompilation(task, burner, false, -1).Ok());
  const auto* root = burner.FindCompilationDir("\\");
  ASSERT_NE(root, nullptr);
  EXPECT_NE(burner.Tables().FindEntry(*root, "old.txt"), nullptr);
  EXPECT_NE(burner.FindCompilationDir("\\D"), nullptr);
  // Imported once: the layout must not merge it again.
  EXPECT_EQ(burner.SessionToImport(), 0);
}

}  // namespace
