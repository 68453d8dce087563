#include "OVClassesJob.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "ByteStream.h"
#include "Host.h"
#include "OVClassesJobs.h"
#include "OVClassesLog.h"
#include "OVClassesPlugins.h"
#include "OVError.h"
#include "uSettings.h"

namespace {

constexpr char kMagic[4] = {'O', 'V', 0, 0};
constexpr int32_t kMaxTextBytes = 1024;  // a name with its terminating zero
// Smallest records: an event without block, a step with a one-byte name.
constexpr size_t kMinEventBytes = 16;
constexpr size_t kMinStepBytes = 21;

std::string CutName(const std::string& value) {
  std::string s = value.substr(0, std::min(value.size(), kMaxNameLength));
  size_t zero = s.find('\0');
  return zero == std::string::npos ? s : s.substr(0, zero);
}

void FreeBlock(void*& data, int32_t size) {
  if (data && HostRecord.Free) HostRecord.Free(&data, size);
  data = nullptr;
}

// Reads a block of the declared size. A size of zero or less means the
// record has no block. A size the rest of the file cannot hold is a format
// error raised before anything is allocated, so a block never holds
// leftover memory and a small file never claims a large amount of memory.
//
// With mayEndShort (the last block of a file) a block that the file cuts
// short keeps the bytes present: a file that ends inside its last block
// loads. Returns the declared size when the block was cut, otherwise -1.
int32_t ReadBlock(TByteReader& r, int32_t* size, void** data, bool mayEndShort = false) {
  int32_t p = r.ReadInt32();
  *size = 0;
  *data = nullptr;
  if (p <= 0) return -1;
  int32_t declared = -1;
  if (mayEndShort && static_cast<size_t>(p) > r.Remaining()) {
    declared = p;
    p = static_cast<int32_t>(r.Remaining());
    if (p == 0) return declared;
  }
  r.Need(static_cast<size_t>(p));
  if (HostRecord.Alloc) HostRecord.Alloc(data, p);
  if (!*data) throw EOVError("Out of memory reading Job file");
  *size = p;
  r.ReadBytes(*data, static_cast<size_t>(p));
  return declared;
}

void WriteBlock(TByteWriter& w, int32_t size, const void* data) {
  if (size > 0 && data) {
    w.WriteInt32(size);
    w.WriteBytes(data, static_cast<size_t>(size));
  } else {
    w.WriteInt32(0);
  }
}

void WriteName(TByteWriter& w, const std::string& name) {
  std::string n = CutName(name);
  w.WriteInt32(static_cast<int32_t>(n.size() + 1));
  w.WriteBytes(n.data(), n.size());
  w.WriteBytes("", 1);
}

std::string ReadName(TByteReader& r) {
  int32_t n = r.ReadInt32();
  if (n < 1 || n > kMaxTextBytes) throw EOVError(kInvalidJobFile);
  // A name that fills all 1024 bytes without its zero keeps 1023 characters.
  return CutName(r.ReadText(static_cast<size_t>(n)));
}

[[noreturn]] void RaiseSaveError(const std::string& path, DWORD code) {
  RaiseError("Cannot save Job file \"%s\" (%s)", path.c_str(), SystemErrorText(code).c_str());
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  // No sharing while the file is read.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) RaiseError("Cannot open file \"%s\"", path.c_str());
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h, &size) || size.QuadPart > 0x7FFFFFFF) {
    CloseHandle(h);
    throw EOVError(kInvalidJobFile);
  }
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(static_cast<size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    CloseHandle(h);
    RaiseError("Out of memory reading Job file \"%s\"", path.c_str());
  }
  DWORD got = 0;
  bool ok = bytes.empty() ||
            (ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
             got == bytes.size());
  CloseHandle(h);
  if (!ok) RaiseError("Cannot read file \"%s\"", path.c_str());
  return bytes;
}

}  // namespace

const char* const kJobStateTexts[5] = {
    "Manual run", "Idle...", "Disabled", "Running (%s)...",
    "Stopped, waiting for completion step \"%s\"..."};

int32_t NewJobID() {
  static std::mt19937 gen{std::random_device{}() ^ static_cast<unsigned>(GetTickCount()) ^
                          static_cast<unsigned>(GetCurrentProcessId() << 16)};
  std::uniform_int_distribution<int32_t> dist(0, 2147483646);
  return dist(gen);
}

std::string JobFileName(int32_t id) {
  char name[16];
  std::snprintf(name, sizeof name, "%08X.ovj", static_cast<unsigned>(id));
  return name;
}

// --------------------------------------------------------------- TOVJobStep

TOVJobStep::TOVJobStep(TOVJob* owner) : owner_(owner) {}

TOVJobStep::~TOVJobStep() { FreeBlock(params_.Data, params_.Size); }

void TOVJobStep::Changed() {
  if (owner_) owner_->SetModified(true);
}

void TOVJobStep::SetEnabled(Bool32 value) {
  if (value == enabled_) return;
  enabled_ = value;
  Changed();
}

void TOVJobStep::SetPluginID(int32_t value) {
  if (value == pluginId_) return;
  pluginId_ = value;
  Changed();
}

void TOVJobStep::SetMethodIndex(int32_t value) {
  if (value == methodIndex_) return;
  methodIndex_ = value;
  Changed();
}

void TOVJobStep::SetName(const std::string& value) {
  std::string v = CutName(value);
  if (v == name_) return;
  name_ = v;
  Changed();
}

// The record is adopted as given, never freed here: whoever put a new
// block in it (a plug-in's configuration call) has freed the old one.
void TOVJobStep::SetParams(int32_t size, void* data) {
  params_.Size = data ? size : 0;
  params_.Data = data;
  Changed();
}

void TOVJobStep::SaveToStream(TByteWriter& w) const {
  w.WriteInt32(pluginId_);
  w.WriteInt32(methodIndex_);
  w.WriteInt32(enabled_);
  WriteName(w, name_);
  WriteBlock(w, params_.Size, params_.Data);
}

void TOVJobStep::LoadFromStream(TByteReader& r) { LoadFromStream(r, false); }

int32_t TOVJobStep::LoadFromStream(TByteReader& r, bool mayEndShort) {
  pluginId_ = r.ReadInt32();
  methodIndex_ = r.ReadInt32();
  enabled_ = r.ReadInt32();
  name_ = ReadName(r);
  FreeBlock(params_.Data, params_.Size);
  params_.Size = 0;
  int32_t declared = ReadBlock(r, &params_.Size, &params_.Data, mayEndShort);
  Changed();
  return declared;
}

// ---------------------------------------------------------------- TOVJobRun

TOVJobRun::TOVJobRun(TOVJob* owner) : owner_(owner) {
  params_.JobID = owner ? owner->ID() : 0;
}

TOVJobRun::~TOVJobRun() { FreeBlock(params_.Data, params_.Size); }

void TOVJobRun::Changed() {
  if (owner_) owner_->SetModified(true);
}

void TOVJobRun::SetEnabled(Bool32 value) {
  if (value == enabled_) return;
  enabled_ = value;
  Changed();
}

void TOVJobRun::SetPluginID(int32_t value) {
  if (value == pluginId_) return;
  pluginId_ = value;
  Changed();
}

void TOVJobRun::SetRunnerIndex(int32_t value) {
  if (value == runnerIndex_) return;
  runnerIndex_ = value;
  Changed();
}

void TOVJobRun::SetParams(int32_t size, void* data) {
  params_.Size = data ? size : 0;
  params_.Data = data;
  params_.JobID = owner_ ? owner_->ID() : params_.JobID;
  Changed();
}

void TOVJobRun::SaveToStream(TByteWriter& w) const {
  w.WriteInt32(pluginId_);
  w.WriteInt32(runnerIndex_);
  w.WriteInt32(enabled_);
  WriteBlock(w, params_.Size, params_.Data);
}

void TOVJobRun::LoadFromStream(TByteReader& r) { LoadFromStream(r, false); }

int32_t TOVJobRun::LoadFromStream(TByteReader& r, bool mayEndShort) {
  pluginId_ = r.ReadInt32();
  runnerIndex_ = r.ReadInt32();
  enabled_ = r.ReadInt32();
  FreeBlock(params_.Data, params_.Size);
  params_.Size = 0;
  int32_t declared = ReadBlock(r, &params_.Size, &params_.Data, mayEndShort);
  params_.JobID = owner_ ? owner_->ID() : params_.JobID;
  Changed();
  return declared;
}

// ------------------------------------------------------------------- TOVJob

TOVJob::TOVJob(TOVJobs* owner) : id_(NewJobID()), owner_(owner) {
  log_ = std::make_unique<TOVLog>(this);
}

TOVJob::~TOVJob() {
  OnStateChange = nullptr;
  OnFinish = nullptr;
  try {
    StopEvents();
  } catch (...) {
  }
  events_.clear();
  steps_.clear();
  log_.reset();
}

TOVJobStep* TOVJob::AddStep() {
  steps_.push_back(std::make_unique<TOVJobStep>(this));
  modified_ = true;
  return steps_.back().get();
}

TOVJobRun* TOVJob::AddEvent() {
  events_.push_back(std::make_unique<TOVJobRun>(this));
  modified_ = true;
  return events_.back().get();
}

TOVJobStep* TOVJob::Steps(int index) const {
  if (index < 0 || index >= StepCount()) RaiseError("Index out of bounds /%d/", index);
  return steps_[static_cast<size_t>(index)].get();
}

TOVJobRun* TOVJob::Events(int index) const {
  if (index < 0 || index >= EventCount()) RaiseError("Index out of bounds /%d/", index);
  return events_[static_cast<size_t>(index)].get();
}

void TOVJob::DeleteStep(int index) {
  Steps(index);
  steps_.erase(steps_.begin() + index);
  modified_ = true;
}

void TOVJob::DeleteEvent(int index) {
  // An armed trigger holds the address of the event's parameters: it is
  // disarmed before the event goes.
  if (Events(index)->Started()) StopEvent(index);
  events_.erase(events_.begin() + index);
  modified_ = true;
}

void TOVJob::ClearSteps() {
  for (int i = StepCount() - 1; i >= 0; --i) DeleteStep(i);
}

void TOVJob::ClearEvents() {
  StopEvents();
  for (int i = EventCount() - 1; i >= 0; --i) DeleteEvent(i);
}

void TOVJob::ExchangeSteps(int i, int j) {
  Steps(i);
  Steps(j);
  std::swap(steps_[static_cast<size_t>(i)], steps_[static_cast<size_t>(j)]);
  modified_ = true;
}

void TOVJob::MoveStep(int from, int to) {
  Steps(from);
  Steps(to);
  auto step = std::move(steps_[static_cast<size_t>(from)]);
  steps_.erase(steps_.begin() + from);
  steps_.insert(steps_.begin() + to, std::move(step));
  modified_ = true;
}

void TOVJob::SetName(const std::string& value) {
  std::string v = CutName(value);
  SetModifiedIfChanged(v != name_);
  name_ = v;
}

const char* TOVJob::StableName() {
  if (handedNames_.empty() || *handedNames_.back() != name_)
    handedNames_.push_back(std::make_unique<std::string>(name_));
  return handedNames_.back()->c_str();
}

void TOVJob::SetActive(Bool32 value) {
  if ((value != 0) == (active_ != 0)) return;
  active_ = value;
  // Events are armed only while automation is on (a job activated with
  // automation off waits for automation to come on).
  if (value != 0) {
    if (!editing_ && AutomationEnabled())
      StartEvents();
    else
      UpdateState();  // the lists show the new state even with nothing armed
  } else {
    StopEvents();
  }
  modified_ = true;
}

void TOVJob::SetID(int32_t value) {
  if (value == id_) return;
  id_ = value;
  for (auto& e : events_) e->SetJobID(value);
  modified_ = true;
}

void TOVJob::SetActionAfterRun(uint8_t value) {
  SetModifiedIfChanged(value != actionAfterRun_);
  actionAfterRun_ = value;
}

void TOVJob::SetToLog(bool value) {
  SetModifiedIfChanged(value != toLog_);
  toLog_ = value;
}

void TOVJob::SetRunOnExit(bool value) {
  SetModifiedIfChanged(value != runOnExit_);
  runOnExit_ = value;
}

void TOVJob::SetRunOnStart(bool value) {
  SetModifiedIfChanged(value != runOnStart_);
  runOnStart_ = value;
}

void TOVJob::SetHidden(bool value) {
  SetModifiedIfChanged(value != hidden_);
  hidden_ = value;
}

// The loader sets the category last, so this is where a loaded job gets
// its state: the state is recomputed even when the value stays.
void TOVJob::SetCategory(int32_t value) {
  if (value != category_) {
    category_ = value;
    modified_ = true;
  }
  UpdateState();
}

void TOVJob::SetPriority(uint8_t value) {
  SetModifiedIfChanged(value != priority_);
  priority_ = value;
}

std::string TOVJob::FileName() const { return JobFileName(id_); }

int TOVJob::IndexInList() const { return owner_ ? owner_->IndexOf(this) : -1; }

void TOVJob::UpdateState() {
  uint8_t s;
  if (editing_)
    s = jsDisabled;
  else if (stopRequested_)
    s = jsStopping;
  else if (running_)
    s = jsRunning;
  else if (!active_)
    s = jsManual;
  else if (runOnStart_ || runOnExit_)
    s = jsIdle;
  else {
    s = jsManual;
    for (auto& e : events_)
      if (e->Enabled()) {
        s = jsIdle;
        break;
      }
  }
  state_ = s;
  if (OnStateChange) OnStateChange(this, s);
}

std::string TOVJob::StateText() const {
  if (state_ == jsRunning || state_ == jsStopping) {
    int i = CurrentStep();
    std::string step = i >= 0 && i < StepCount() ? steps_[static_cast<size_t>(i)]->Name() : "";
    return Format(kJobStateTexts[state_], step.c_str());
  }
  return state_ < 5 ? kJobStateTexts[state_] : "";
}

void TOVJob::SaveToStream(TByteWriter& w) {
  w.WriteBytes(kMagic, 4);
  w.WriteInt32(id_);
  WriteName(w, name_);
  w.WriteInt32(active_);
  w.WriteInt32(actionAfterRun_);
  w.WriteInt32(toLog_ ? 1 : 0);
  w.WriteInt32(EventCount());
  for (auto& e : events_) e->SaveToStream(w);
  w.WriteInt32(StepCount());
  for (auto& s : steps_) s->SaveToStream(w);
  w.WriteInt32(runOnStart_ ? 1 : 0);
  w.WriteInt32(runOnExit_ ? 1 : 0);
  w.WriteInt32(hidden_ ? 1 : 0);
  w.WriteInt32(category_);
  w.WriteInt32(priority_);
  modified_ = false;
}

void TOVJob::LoadFromStream(TByteReader& r) {
  ClearSteps();
  ClearEvents();
  loadedCut_ = false;
  // A file that cannot be read leaves the job without steps and events but
  // with its own identity and options: a half-read header would otherwise
  // give it the ID, and so the file name, of whatever the bad file held.
  const int32_t oldId = id_;
  const std::string oldName = name_;
  const Bool32 oldActive = active_;
  const uint8_t oldAction = actionAfterRun_, oldPriority = priority_;
  const bool oldToLog = toLog_, oldStart = runOnStart_, oldExit = runOnExit_, oldHidden = hidden_;
  const int32_t oldCategory = category_;
  try {
    if (r.Remaining() < 8) throw EOVError(kInvalidJobFile);
    char magic[4];
    r.ReadBytes(magic, 4);
    if (std::memcmp(magic, kMagic, 4) != 0) throw EOVError(kInvalidJobFile);
    SetID(r.ReadInt32());
    name_ = ReadName(r);
    const Bool32 active = r.ReadInt32();
    SetActive(active);
    active_ = active;  // the stored value itself (1 stays 1), not only its truth
    actionAfterRun_ = static_cast<uint8_t>(r.ReadInt32() & 0xFF);
    toLog_ = r.ReadInt32() != 0;
    // Counts are checked against the bytes left before anything is created,
    // so a small file can never make the job hold a large number of items.
    int32_t e = r.ReadInt32();
    if (e < 0 || static_cast<uint64_t>(e) * kMinEventBytes > r.Remaining())
      throw EOVError(kInvalidJobFile);
    // A file that ends inside its last parameter block (a copy or a save
    // cut short) loads with that block cut to the bytes present; the
    // plug-in reports the incomplete settings when the step runs. Damage
    // anywhere else is a format error.
    std::vector<std::string> cuts;
    auto noteCut = [&](const std::string& what, int32_t present, int32_t declared) {
      cuts.push_back(Format("Job \"%s\": the settings of %s end early (%ld of %ld bytes)",
                            name_.c_str(), what.c_str(), static_cast<long>(present),
                            static_cast<long>(declared)));
    };
    bool endedInEvent = false;
    for (int32_t i = 0; i < e; ++i) {
      TOVJobRun* ev = AddEvent();
      int32_t declared = ev->LoadFromStream(r, i == e - 1);
      if (declared >= 0) {
        noteCut(Format("event %ld", static_cast<long>(i + 1)), ev->Params()->Size, declared);
        endedInEvent = true;
      }
    }
    int32_t s = 0;
    if (!endedInEvent) {
      s = r.ReadInt32();
      if (s < 0 || static_cast<uint64_t>(s) * kMinStepBytes > r.Remaining())
        throw EOVError(kInvalidJobFile);
    }
    for (int32_t i = 0; i < s; ++i) {
      TOVJobStep* step = AddStep();
      int32_t declared = step->LoadFromStream(r, i == s - 1);
      if (declared >= 0) noteCut("step \"" + step->Name() + "\"", step->Params().Size, declared);
    }
    // Older files end after the steps, after the start/exit/hidden flags or
    // after the category; what they lack keeps its default. A group that
    // starts but does not end is damage, not an older layout.
    bool start = false, exit = false, hidden = false;
    int32_t category = 0;
    uint8_t priority = 3;
    if (!r.AtEnd()) {
      start = r.ReadInt32() != 0;
      exit = r.ReadInt32() != 0;
      hidden = r.ReadInt32() != 0;
      if (!r.AtEnd()) {
        category = r.ReadInt32();
        if (!r.AtEnd()) priority = static_cast<uint8_t>(r.ReadInt32() & 0xFF);
      }
    }
    runOnStart_ = start;
    runOnExit_ = exit;
    hidden_ = hidden;
    priority_ = priority;
    SetCategory(category);
    loadedCut_ = !cuts.empty();
    for (const std::string& line : cuts) HostLog(OV_LOG_WARNING, line);
  } catch (...) {
    steps_.clear();
    for (auto& ev : events_) ev->SetStarted(false);
    events_.clear();
    id_ = oldId;
    name_ = oldName;
    active_ = oldActive;
    actionAfterRun_ = oldAction;
    toLog_ = oldToLog;
    runOnStart_ = oldStart;
    runOnExit_ = oldExit;
    hidden_ = oldHidden;
    category_ = oldCategory;
    priority_ = oldPriority;
    modified_ = true;
    try {
      UpdateState();
    } catch (...) {
    }
    throw;
  }
  modified_ = false;
}

void TOVJob::LoadFromFile(const std::string& path) {
  ClearSteps();
  ClearEvents();
  std::vector<uint8_t> bytes = ReadWholeFile(path);
  TByteReader r(bytes.data(), bytes.size());
  LoadFromStream(r);
}

void TOVJob::SaveToFile(const std::string& path) {
  TByteWriter w;
  SaveToStream(w);
  WriteJobBytes(path, w.Bytes());
}

bool TOVJob::SaveToJobsDirIfDifferent() {
  const std::string path = IncludeTrailingBackslash(Settings.JobDir) + FileName();
  TByteWriter w;
  SaveToStream(w);
  // A file that already holds exactly these bytes is left alone.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    const auto& want = w.Bytes();
    std::vector<uint8_t> have(want.size() + 1);
    DWORD got = 0;
    bool same = ReadFile(h, have.data(), static_cast<DWORD>(have.size()), &got, nullptr) &&
                got == want.size() && std::equal(want.begin(), want.end(), have.begin());
    CloseHandle(h);
    if (same) return false;
  }
  WriteJobBytes(path, w.Bytes());
  return true;
}

void TOVJob::WriteJobBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  // The new content goes to a temporary file beside the old one, reaches
  // the disk, and only then replaces the old file in one step: a crash or
  // a refused write at any moment leaves the old or the new job file,
  // never neither and never a mixture.
  const std::string tmp = path + ".tmp";
  HANDLE h = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    modified_ = true;
    RaiseSaveError(path, code);
  }
  DWORD written = 0;
  bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && FlushFileBuffers(h);
  DWORD code = ok ? 0 : GetLastError();
  if (!CloseHandle(h) && ok) {
    ok = false;
    code = GetLastError();
  }
  if (ok && !MoveFileExA(tmp.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    code = GetLastError();
  }
  if (!ok) {
    DeleteFileA(tmp.c_str());
    modified_ = true;
    RaiseSaveError(path, code ? code : ERROR_WRITE_FAULT);
  }
}

void TOVJob::SaveToJobsDir() {
  SaveToFile(IncludeTrailingBackslash(Settings.JobDir) + FileName());
}

void TOVJob::ReloadFromJobsDir() {
  LoadFromFile(IncludeTrailingBackslash(Settings.JobDir) + FileName());
}
