#include "appcore/schedule.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>

#include "appcore/options.h"
#include "appcore/task_tree.h"
#include "appcore/texts.h"
#include "platform/autostart.h"
#include "platform/file_stream.h"
#include "platform/utf8_path.h"

namespace appcore {

namespace {

namespace fs = std::filesystem;

constexpr const char* kCount = "Count";
constexpr const char* kValue = "Value";
constexpr const char* kTask = "Task";

std::string TwoDigits(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

bool Valid(const CalendarDate& d) {
  return d.Year >= 1601 && d.Year <= 9999 && d.Month >= 1 && d.Month <= 12 && d.Day >= 1 &&
         d.Day <= DaysInMonth(d.Year, d.Month);
}

struct Field {
  int Value = 0;
  std::size_t Digits = 0;
};

bool ParseWholeInt(std::string_view text, std::int64_t& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return !text.empty() && ec == std::errc() && ptr == end;
}

bool IsControlChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F;
}

}  // namespace

CalendarDate Today() {
  const platform::CivilTime now = platform::NowLocal();
  return {now.Year, now.Month, now.Day};
}

std::int64_t DayNumber(const CalendarDate& date) {
  // Days from civil (proleptic Gregorian), day 0 = 1970-01-01.
  const std::int64_t y = date.Year - (date.Month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (date.Month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + date.Day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::string FormatDate(const CalendarDate& date) {
  return std::to_string(date.Year) + "-" + TwoDigits(date.Month) + "-" + TwoDigits(date.Day);
}

std::string FormatTime(const platform::CivilTime& time) {
  return TwoDigits(time.Hour) + ":" + TwoDigits(time.Minute) + ":" + TwoDigits(time.Second);
}

std::optional<CalendarDate> ParseDate(std::string_view text, platform::DateOrder order, int currentYear) {
  // Three groups of digits with anything but digits between them.
  std::vector<Field> fields;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] < '0' || text[i] > '9') {
      ++i;
      continue;
    }
    Field f;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (++f.Digits > 4) return std::nullopt;
      f.Value = f.Value * 10 + (text[i] - '0');
      ++i;
    }
    fields.push_back(f);
    if (fields.size() > 3) return std::nullopt;
  }
  if (fields.size() != 3) return std::nullopt;
  auto year = [&](const Field& f) {
    if (f.Digits > 2) return f.Value;
    int y = 2000 + f.Value;  // two digits: within 50 years of now
    if (y > currentYear + 50) y -= 100;
    return y;
  };
  const bool yearFirst = fields[0].Digits == 4 || (order == platform::DateOrder::YearMonthDay && fields[2].Digits <= 2);
  if (yearFirst) {
    const CalendarDate d{year(fields[0]), fields[1].Value, fields[2].Value};
    return Valid(d) ? std::optional(d) : std::nullopt;
  }
  const CalendarDate mdy{year(fields[2]), fields[0].Value, fields[1].Value};
  const CalendarDate dmy{year(fields[2]), fields[1].Value, fields[0].Value};
  const bool dayFirst = order == platform::DateOrder::DayMonthYear;
  const CalendarDate& first = dayFirst ? dmy : mdy;
  const CalendarDate& second = dayFirst ? mdy : dmy;
  if (Valid(first)) return first;
  if (Valid(second)) return second;
  return std::nullopt;
}

std::string TaskSettings::SchedulingText() const {
  switch (Unit) {
    case IntervalUnit::Weeks:
      return Weeks + " Weeks";
    case IntervalUnit::Months:
      return Months + " Months";
    case IntervalUnit::Days:
      break;
  }
  return Days + " Days";
}

std::optional<std::int64_t> IntervalDays(std::string_view scheduling) {
  const std::size_t space = scheduling.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  std::int64_t count = 0;
  if (!ParseWholeInt(scheduling.substr(0, space), count) || count < 0 || count > 100000) return std::nullopt;
  const std::string_view unit = scheduling.substr(space + 1);
  if (unit == "Weeks") return count * 7;
  if (unit == "Months") return count * 30;
  return count;
}

DueCheck CheckDue(const ScheduleTask& task, bool once, bool equalOrLater, const CalendarDate& today,
                  platform::DateOrder order) {
  DueCheck check;
  if (once) return check;
  const auto last = ParseDate(task.LastBackup, order, today.Year);
  if (!last) {
    check.Problem = texts::kUnreadableDate + task.Name + " (\"" + task.LastBackup + "\")";
    return check;
  }
  const auto interval = IntervalDays(task.Scheduling);
  if (!interval) {
    check.Problem = texts::kUnreadableScheduling + task.Name + " (\"" + task.Scheduling + "\")";
    return check;
  }
  const std::int64_t elapsed = DayNumber(today) - DayNumber(*last);
  check.Due = equalOrLater ? elapsed >= *interval : elapsed > *interval;
  return check;
}

base::Status ValidateTaskName(const std::string& name) {
  if (name.empty()) return base::MakeError(base::ErrorKind::InvalidInput, texts::kEnterTaskName);
  const bool bad = name == "." || name == ".." || name.front() == ' ' || name.back() == ' ' ||
                   name.find_first_of("/\\[]") != std::string::npos ||
                   std::any_of(name.begin(), name.end(), IsControlChar);
  if (bad) return base::MakeError(base::ErrorKind::InvalidInput, texts::kBadTaskName);
  return base::Ok();
}

std::string StartLogLine(const std::string& taskFile, const std::string& date, const std::string& time) {
  return texts::kLogStart + taskFile + " " + date + " " + time;
}

std::string DoneLogLine(const std::string& date, const std::string& time) {
  return texts::kLogDone + date + " " + time;
}

bool WritesDoneLine(const Options& options) {
  return options.Sound(SoundEvent::ScheduleDone).Enabled && options.RecordLog;
}

NotReadyAction PersonNotReadyAction(const Options& options) {
  return options.EjectNoDisc ? NotReadyAction::EjectAndAsk : NotReadyAction::Ask;
}

NotReadyAction DriveNotReadyAction(const Options& options) {
  if (options.CancelTask) return NotReadyAction::Cancel;
  return options.EjectNoDisc ? NotReadyAction::EjectAndAsk : NotReadyAction::Ask;
}

bool ReportsDriveNotRecorder(const Options& options) { return !options.CancelTask; }

std::string BackupTasksHint(std::size_t count) { return std::to_string(count) + texts::kBackupTasksHint; }

bool IsScheduleStart(const std::vector<std::string>& arguments) {
  return !arguments.empty() && arguments.front() == kScheduleArgument;
}

struct ScheduleStore::ListCache {
  std::mutex Lock;
  std::shared_ptr<const IniFile> Ini;
  bool Known = false;  // Ini matches the stamp below
  bool Exists = false;
  std::uintmax_t Size = 0;
  fs::file_time_type Time{};
  std::size_t Reads = 0;
};

ScheduleStore::ScheduleStore(std::string programFolder, platform::DateOrder order)
    : FProgramFolder(std::move(programFolder)), FOrder(order), FCache(std::make_shared<ListCache>()) {}

std::shared_ptr<const IniFile> ScheduleStore::CachedList() const {
  const fs::path path = platform::Utf8Path(ListPath());
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) ec.clear();  // no list: an empty one
  const bool exists = !ec && fs::is_regular_file(status);
  std::uintmax_t size = 0;
  fs::file_time_type time{};
  if (exists) {
    size = fs::file_size(path, ec);
    if (!ec) time = fs::last_write_time(path, ec);
  }
  const bool stamped = !ec;
  std::lock_guard<std::mutex> hold(FCache->Lock);
  ListCache& c = *FCache;
  if (stamped && c.Known && c.Ini && c.Exists == exists && c.Size == size && c.Time == time) return c.Ini;
  // The stamp is taken before the read: a write in between leaves a newer
  // text under an older stamp, which the next call sees as a change.
  auto ini = std::make_shared<const IniFile>(ListPath());
  // Its section index is built now, while only this thread sees it: later
  // lookups, from any thread, only read.
  ini->SectionExists(kCount);
  c.Ini = std::move(ini);
  ++c.Reads;
  c.Exists = exists;
  c.Size = size;
  c.Time = time;
  // A file written within the last seconds may be written again within the
  // file system's time resolution without its stamp changing: it is read
  // again until it has aged.
  c.Known = stamped && (!exists || fs::file_time_type::clock::now() - time > std::chrono::seconds(3));
  return c.Ini;
}

void ScheduleStore::ForgetList() const {
  std::lock_guard<std::mutex> hold(FCache->Lock);
  FCache->Known = false;
  FCache->Ini.reset();
}

std::size_t ScheduleStore::ListReads() const {
  std::lock_guard<std::mutex> hold(FCache->Lock);
  return FCache->Reads;
}

std::string ScheduleStore::Folder() const { return FProgramFolder + "/" + kScheduleFolderName; }
std::string ScheduleStore::ListPath() const { return Folder() + "/" + kScheduleListFileName; }
std::string ScheduleStore::ListProblem() const { return CachedList()->LoadError(); }
std::string ScheduleStore::LogPath() const { return Folder() + "/" + kLogFileName; }
std::string ScheduleStore::TaskFilePath(const std::string& name) const {
  return Folder() + "/" + name + kTaskFileExtension;
}

std::vector<ScheduleTask> ScheduleStore::LoadList(const CalendarDate& today) const {
  const std::shared_ptr<const IniFile> list = CachedList();
  const IniFile& ini = *list;
  const std::string todayText = FormatDate(today);
  std::vector<ScheduleTask> rows;
  const std::int32_t count = std::min(ini.ReadInteger(kCount, kValue, 0), kMaxScheduleTasks);
  for (std::int32_t i = 0; i < count; ++i) {
    ScheduleTask row;
    row.Name = ini.ReadString(kTask, kTask + std::to_string(i), "");
    if (row.Name.empty()) continue;
    row.Scheduling = ini.ReadString(row.Name, "Scheduling", "1 Days");
    row.Description = ini.ReadString(row.Name, "Description", "");
    row.TaskFile = ini.ReadString(row.Name, "Task File", "");
    row.StartDate = ini.ReadString(row.Name, "Start Date", todayText);
    row.LastBackup = ini.ReadString(row.Name, "Last Backup", todayText);
    rows.push_back(std::move(row));
  }
  return rows;
}

base::Status ScheduleStore::SaveList(const std::vector<ScheduleTask>& rows) const {
  IniFile ini(ListPath());
  const std::int32_t oldCount = std::min(ini.ReadInteger(kCount, kValue, 0), kMaxScheduleTasks);
  ini.WriteInteger(kCount, kValue, static_cast<std::int64_t>(rows.size()));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ini.WriteString(kTask, kTask + std::to_string(i), rows[i].Name);
    ini.WriteString(rows[i].Name, "Last Backup", rows[i].LastBackup);
  }
  // Names beyond the count would come back if the count were ever repaired.
  for (auto i = static_cast<std::int64_t>(rows.size()); i < oldCount; ++i) ini.DeleteKey(kTask, kTask + std::to_string(i));
  std::error_code ec;
  fs::create_directories(platform::Utf8Path(Folder()), ec);
  ForgetList();
  return ini.Save();
}

base::Result<ScheduleTask> ScheduleStore::SaveTask(const std::string& name, const TaskSettings& settings,
                                                   const std::vector<TaskFileEntry>& files, const CalendarDate& today,
                                                   const std::optional<std::string>& editedLastBackup) const {
  if (auto valid = ValidateTaskName(name); !valid.Ok()) return valid.Err();
  std::error_code ec;
  fs::create_directories(platform::Utf8Path(Folder()), ec);
  if (ec) return base::MakeError(base::ErrorKind::System, "cannot create " + Folder() + ": " + ec.message());

  TaskTree tree = NewTask(name);
  for (const auto& f : files) tree.Root->AddItem(f.Path, f.SizeText);
  const std::string taskFile = TaskFilePath(name);
  if (auto written = WriteTaskFile(taskFile, *tree.Root); !written.Ok()) return written.Err();

  IniFile ini(ListPath());
  const std::string todayText = FormatDate(today);
  std::string lastBackup = todayText;
  if (editedLastBackup) {
    // The command line's daemon may have burnt the task since the window
    // read its list: the later of the two dates holds.
    lastBackup = *editedLastBackup;
    const std::string inList = ini.ReadString(name, "Last Backup", "");
    const auto listed = ParseDate(inList, FOrder, today.Year);
    const auto edited = ParseDate(lastBackup, FOrder, today.Year);
    if (listed && (!edited || DayNumber(*listed) > DayNumber(*edited))) lastBackup = inList;
  }
  ini.WriteString(name, "Task File", taskFile);
  ini.WriteBool(name, "Day", settings.Unit == IntervalUnit::Days);
  ini.WriteBool(name, "Week", settings.Unit == IntervalUnit::Weeks);
  ini.WriteBool(name, "Month", settings.Unit == IntervalUnit::Months);
  ini.WriteBool(name, "Once", settings.Once);
  ini.WriteString(name, "Days", settings.Days);
  ini.WriteString(name, "Weeks", settings.Weeks);
  ini.WriteString(name, "Months", settings.Months);
  ini.WriteBool(name, "Equal or Later", settings.EqualOrLater);
  ini.WriteBool(name, "Equal", !settings.EqualOrLater);
  ini.WriteString(name, "Description", settings.Description);
  ini.WriteString(name, "Start Date", todayText);
  ini.WriteString(name, "Last Backup", lastBackup);
  ini.WriteString(name, "Scheduling", settings.SchedulingText());
  ForgetList();
  if (auto saved = ini.Save(); !saved.Ok()) return saved.Err();

  ScheduleTask row;
  row.Name = name;
  row.Scheduling = settings.SchedulingText();
  row.Description = settings.Description;
  row.TaskFile = taskFile;
  row.StartDate = todayText;
  row.LastBackup = lastBackup;
  return row;
}

ScheduleStore::EditedTask ScheduleStore::ReadTaskForEdit(const std::string& name, const CalendarDate& today) const {
  const std::shared_ptr<const IniFile> list = CachedList();
  const IniFile& ini = *list;
  EditedTask edited;
  TaskSettings& s = edited.Settings;
  // Radios of one group: the last one checked wins.
  if (ini.ReadBool(name, "Day", true)) s.Unit = IntervalUnit::Days;
  if (ini.ReadBool(name, "Week", false)) s.Unit = IntervalUnit::Weeks;
  if (ini.ReadBool(name, "Month", false)) s.Unit = IntervalUnit::Months;
  s.Once = ini.ReadBool(name, "Once", false);
  s.Days = ini.ReadString(name, "Days", "1");
  s.Weeks = ini.ReadString(name, "Weeks", "1");
  s.Months = ini.ReadString(name, "Months", "1");
  s.EqualOrLater = ini.ReadBool(name, "Equal or Later", true);
  if (ini.ReadBool(name, "Equal", false)) s.EqualOrLater = false;
  s.Date2 = ini.ReadString(name, "Date2", FormatDate(today));
  s.Time2 = ini.ReadString(name, "Time2", FormatTime(platform::NowLocal()));
  s.Description = ini.ReadString(name, "Description", "");

  // The same reader as every task file, so paths with "#" or "(" come back whole.
  auto tree = ReadTaskFile(ini.ReadString(name, "Task File", ""));
  if (!tree.Ok() || tree.Value().Empty()) {
    edited.Problem = texts::kTaskFileMissingEdit;
    return edited;
  }
  for (const auto& child : tree.Value().Root->Children)
    if (child->IsItem()) edited.Files.push_back({child->Name, child->SizeText});
  return edited;
}

base::Status ScheduleStore::DeleteTask(const std::string& name) const {
  if (auto valid = ValidateTaskName(name); !valid.Ok()) return valid;
  IniFile ini(ListPath());
  if (ini.SectionExists(name)) {
    ini.EraseSection(name);
    ForgetList();
    if (auto saved = ini.Save(); !saved.Ok()) return saved;
  }
  if (!platform::RemoveFile(TaskFilePath(name)))
    return base::MakeError(base::ErrorKind::System, "cannot delete " + TaskFilePath(name));
  return base::Ok();
}

base::Status ScheduleStore::ClearAll() const {
  ForgetList();
  std::error_code ec;
  if (!fs::is_directory(platform::Utf8Path(Folder()), ec)) return base::Ok();
  std::vector<fs::path> files;
  for (fs::directory_iterator it(platform::Utf8Path(Folder()), ec), end; !ec && it != end; it.increment(ec))
    // The runners' lock stays: a runner that holds it keeps holding that file.
    if ((it->is_regular_file(ec) || it->is_symlink(ec)) && it->path().filename() != "Runner.lock")
      files.push_back(it->path());
  if (ec) return base::MakeError(base::ErrorKind::System, "cannot list " + Folder() + ": " + ec.message());
  for (const auto& f : files)
    if (!platform::RemoveFile(platform::PathUtf8(f)))
      return base::MakeError(base::ErrorKind::System, "cannot delete " + platform::PathUtf8(f));
  return base::Ok();
}

ScheduleStore::Scan ScheduleStore::ScanDueTasks(std::vector<ScheduleTask>& rows, const CalendarDate& today) const {
  const std::shared_ptr<const IniFile> list = CachedList();
  const IniFile& ini = *list;
  Scan scan;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ScheduleTask& row = rows[i];
    const DueCheck check = CheckDue(row, ini.ReadBool(row.Name, "Once", false),
                                    ini.ReadBool(row.Name, "Equal or Later", true), today, FOrder);
    if (!check.Problem.empty()) scan.Problems.push_back(check.Problem);
    if (!check.Due) continue;
    row.LastBackup = FormatDate(today);
    scan.Due.push_back(i);
  }
  return scan;
}

base::Status ScheduleStore::RecordBackup(const std::string& name, const CalendarDate& day) const {
  IniFile ini(ListPath());
  ini.WriteString(name, "Last Backup", FormatDate(day));
  ForgetList();
  return ini.Save();
}

base::Status ScheduleStore::AppendLog(const std::string& line) const {
  std::error_code ec;
  fs::create_directories(platform::Utf8Path(Folder()), ec);
  return platform::AppendToFile(LogPath(), line + "\r\n");
}

base::Status UpdateScheduledStart(bool autoExecute, std::size_t taskCount, const std::string& executable) {
  if (!autoExecute || taskCount == 0) return platform::RemoveAutostartEntry(kScheduledStartName);
  if (platform::AutostartEntryExists(kScheduledStartName)) return base::Ok();
  if (executable.empty()) return base::MakeError(base::ErrorKind::System, "the program's own path is not known");
  return platform::WriteAutostartEntry(kScheduledStartName, executable, {kScheduleArgument});
}

}  // namespace appcore
