#include "OVClassesJobs.h"

#include <algorithm>
#include <cctype>

#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesLog.h"
#include "OVClassesPlugins.h"
#include "OVError.h"
#include "uSettings.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Moves an unreadable job file aside ("<name>.bad", or "<name>.bad2" ...)
// so that the user can recover it and no later save overwrites it.
std::string SetAsideName(const std::string& path) {
  std::string target = path + ".bad";
  for (int n = 2; FileExists(target) && n < 1000; ++n) target = path + ".bad" + std::to_string(n);
  return target;
}

std::string SetAside(const std::string& path) {
  std::string target = SetAsideName(path);
  if (MoveFileExA(path.c_str(), target.c_str(), 0)) return target;
  return std::string();
}

// A fresh ID that neither a loaded job nor a file in dir holds.
int32_t FreeJobID(const TOVJobs& jobs, const std::string& dir) {
  for (;;) {
    int32_t id = NewJobID();
    if (!jobs.FindByID(id) && !FileExists(dir + JobFileName(id))) return id;
  }
}

}  // namespace

// ---------------------------------------------------------------- TOVJobs

TOVJobs::TOVJobs() = default;

TOVJobs::~TOVJobs() {
  for (int i = Count() - 1; i >= 0; --i) {
    try {
      Delete(i);
    } catch (...) {
      delete items_[static_cast<size_t>(i)];
      items_.erase(items_.begin() + i);
    }
  }
  HostLog(OV_LOG_INFO, "Unload jobs...");
}

void TOVJobs::Add(TOVJob* job) {
  items_.push_back(job);
  if (OnAdd) OnAdd(this, job);
}

void TOVJobs::Delete(int index) {
  TOVJob* job = Items(index);
  if (OnRemove) OnRemove(this, job);  // when it raises, the job stays
  items_.erase(items_.begin() + index);
  delete job;
}

TOVJob* TOVJobs::Items(int index) const {
  if (index < 0 || index >= Count()) RaiseError("Index out of bounds /%d/", index);
  return items_[static_cast<size_t>(index)];
}

int TOVJobs::IndexOf(const TOVJob* job) const {
  auto it = std::find(items_.begin(), items_.end(), job);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

bool TOVJobs::AnyRunning() const {
  return std::any_of(items_.begin(), items_.end(), [](TOVJob* j) { return j->Running(); });
}

TOVJob* TOVJobs::FindByID(int32_t id) const {
  for (TOVJob* j : items_)
    if (j->ID() == id) return j;
  return nullptr;
}

TOVJob* TOVJobs::FindByThread(unsigned long threadId) const {
  if (threadId == 0) return nullptr;
  for (TOVJob* j : items_)
    if (j->ThreadId() == threadId) return j;
  return nullptr;
}

void TOVJobs::LoadFromDir(const std::string& dirIn) {
  HostLog(OV_LOG_INFO, "Load jobs...");
  std::string dir = IncludeTrailingBackslash(dirIn);
  std::vector<std::string> files;
  WIN32_FIND_DATAA fd;
  // Temporary files of a save that was cut short: the job file itself is
  // whole (it is replaced only after its successor is complete).
  HANDLE stale = FindFirstFileA((dir + "*.ovj.tmp").c_str(), &fd);
  if (stale != INVALID_HANDLE_VALUE) {
    do {
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((dir + fd.cFileName).c_str());
    } while (FindNextFileA(stale, &fd));
    FindClose(stale);
  }
  HANDLE h = FindFirstFileA((dir + "*.ovj").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (fd.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM)) continue;
      std::string name = fd.cFileName;
      // Only "*.ovj" itself (the pattern also matches longer extensions
      // through short names on some systems).
      if (name.size() < 4 || Lower(name.substr(name.size() - 4)) != ".ovj") continue;
      files.push_back(name);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  for (const std::string& name : files) {
    std::string path = dir + name;
    TOVJob* job = new TOVJob(this);
    try {
      try {
        job->LoadFromFile(path);
      } catch (const std::exception& e) {
        std::string aside = SetAside(path);
        delete job;
        job = nullptr;
        HostLog(OV_LOG_ERROR, Format("%s (%s)", e.what(), name.c_str()));
        if (!aside.empty())
          HostLog(OV_LOG_WARNING, Format("Job file %s kept as %s", name.c_str(), aside.c_str()));
        continue;
      }
      if (job->LoadedCut()) {
        // The job is written back whole at the latest at exit: the bytes as
        // found stay beside it for the user.
        std::string copy = SetAsideName(path);
        if (CopyFileA(path.c_str(), copy.c_str(), TRUE))
          HostLog(OV_LOG_WARNING, Format("Job file %s kept as %s", name.c_str(), copy.c_str()));
      }
      bool duplicate = FindByID(job->ID()) != nullptr;
      if (duplicate || Lower(name) != Lower(job->FileName())) {
        // Another job's file must never be overwritten: a job whose ID is
        // taken (loaded, or the file of that name exists) gets a new one.
        if (duplicate || FileExists(dir + job->FileName())) {
          job->SetID(FreeJobID(*this, dir));
          HostLog(OV_LOG_WARNING, Format("Job \"%s\" (%s) got the new ID %s", job->Name().c_str(),
                                         name.c_str(), job->FileName().c_str()));
        }
        // The job is written under its canonical name before the old file
        // goes, so that it exists on disk at every moment.
        std::string canonical = dir + job->FileName();
        job->SaveToFile(canonical);
        if (!DeleteFileA(path.c_str())) {
          DeleteFileA(canonical.c_str());
          HostLog(OV_LOG_ERROR, Format("Job file name is invalid (%s, %s)", name.c_str(),
                                       job->Name().c_str()));
          delete job;
          continue;
        }
      }
      // The log is the one of the ID the job keeps: a job that got a new
      // ID must not take over the log of the job that holds its old one.
      job->Log()->LoadLog();
      Add(job);
    } catch (const std::exception& e) {
      HostLog(OV_LOG_ERROR, Format("%s (%s)", e.what(), name.c_str()));
      if (job && IndexOf(job) < 0) delete job;
    }
  }
}

// -------------------------------------------------- events of one job

bool TOVJob::StartEvent(int index) {
  TOVJobRun* ev = Events(index);
  if (ev->Started()) return true;
  TOVPlugin* plugin = Plugins ? Plugins->FindByID(ev->PluginID()) : nullptr;
  if (!plugin || !plugin->HasRunners()) return false;
  ev->SetStarted(plugin->StartRunner(ev->RunnerIndex(), ev->Params()));
  return ev->Started();
}

void TOVJob::StopEvent(int index) {
  TOVJobRun* ev = Events(index);
  if (!ev->Started()) return;
  TOVPlugin* plugin = Plugins ? Plugins->FindByID(ev->PluginID()) : nullptr;
  if (!plugin || !plugin->HasRunners()) return;
  // Cleared only once the plug-in has let go: a StopRunner that raises
  // leaves the event armed as far as the host knows, so it is asked again
  // and its record is not freed under the plug-in.
  plugin->StopRunner(ev->RunnerIndex(), ev->Params());
  ev->SetStarted(false);
}

void TOVJob::StartEvents() {
  bool ok = EventCount() > 0;
  if (active_) {
    for (int i = 0; i < EventCount(); ++i) {
      if (!Events(i)->Enabled()) continue;
      if (!ok) break;
      ok = StartEvent(i);
    }
  }
  editing_ = false;
  UpdateState();
}

void TOVJob::StopEvents() {
  for (int i = 0; i < EventCount(); ++i) {
    if (!Events(i)->Enabled()) continue;
    try {
      StopEvent(i);
    } catch (const std::exception& e) {
      HostLog(OV_LOG_ERROR, e.what());
    }
  }
  UpdateState();
}

// ------------------------------------------------------------ automation

bool AutomationEnabled() { return Settings.EnableAutomation; }

void ToggleAutomation() {
  Settings.EnableAutomation = !Settings.EnableAutomation;
  if (!Jobs) return;
  for (int i = 0; i < Jobs->Count(); ++i) {
    TOVJob* job = Jobs->Items(i);
    try {
      if (Settings.EnableAutomation)
        job->StartEvents();
      else
        job->StopEvents();
    } catch (const std::exception& e) {
      HostLog(OV_LOG_ERROR, e.what());
    }
  }
}

void SetAutomation(bool on) {
  Settings.EnableAutomation = !on;
  ToggleAutomation();
}
