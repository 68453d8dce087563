// Helpers for the job tests: jobs that write no log files, loading and
// saving through memory, and a watch on the host allocator.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ByteStream.h"
#include "Host.h"
#include "JobFileBytes.h"
#include "OVClassesJob.h"
#include "OVClassesLog.h"

namespace jobtest {

using jobbytes::Bytes;

inline std::unique_ptr<TOVJob> NewJob() {
  auto job = std::make_unique<TOVJob>(nullptr);
  job->Log()->AutoSave = false;
  return job;
}

inline void Load(TOVJob& job, const Bytes& bytes) {
  TByteReader r(bytes.data(), bytes.size());
  job.LoadFromStream(r);
}

inline Bytes Save(TOVJob& job) {
  TByteWriter w;
  job.SaveToStream(w);
  return w.Bytes();
}

// A parameter block from the host allocator holding these bytes.
inline void* Block(const Bytes& bytes) {
  void* p = nullptr;
  HostRecord.Alloc(&p, static_cast<int32_t>(bytes.size()));
  std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(p));
  return p;
}

inline Bytes BlockBytes(int32_t size, const void* data) {
  if (!data || size <= 0) return {};
  const auto* b = static_cast<const uint8_t*>(data);
  return Bytes(b, b + size);
}

// While alive, every block the host allocator hands out or takes back is
// recorded: what is live, how much was asked for, and any block freed that
// the allocator never gave.
class AllocWatch {
 public:
  AllocWatch() {
    current_ = this;
    alloc_ = HostRecord.Alloc;
    free_ = HostRecord.Free;
    HostRecord.Alloc = &AllocHook;
    HostRecord.Free = &FreeHook;
  }
  ~AllocWatch() {
    HostRecord.Alloc = alloc_;
    HostRecord.Free = free_;
    current_ = nullptr;
  }
  AllocWatch(const AllocWatch&) = delete;
  AllocWatch& operator=(const AllocWatch&) = delete;

  size_t Live() const { return live_.size(); }
  int64_t Requested() const { return requested_; }
  int Foreign() const { return foreign_; }
  void ResetRequested() { requested_ = 0; }

 private:
  static void OVAPI AllocHook(void** p, int32_t size) {
    current_->alloc_(p, size);
    current_->requested_ += size;
    if (p && *p) current_->live_[*p] = size;
  }
  static void OVAPI FreeHook(void** p, int32_t size) {
    if (p && *p) {
      if (current_->live_.erase(*p) == 0) {
        ++current_->foreign_;
        return;  // never hand the heap a block it does not own
      }
    }
    current_->free_(p, size);
  }

  static inline AllocWatch* current_ = nullptr;
  TOVAllocProc alloc_;
  TOVFreeProc free_;
  std::map<void*, int32_t> live_;
  int64_t requested_ = 0;
  int foreign_ = 0;
};

}  // namespace jobtest
