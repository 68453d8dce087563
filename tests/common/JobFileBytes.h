// Job files written out byte by byte, independent of the program's writer:
// what a user's files on disk look like, in every layout the program reads.
// All integers are 32-bit little-endian.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace jobbytes {

using Bytes = std::vector<uint8_t>;

// Hex digits to bytes; blanks are ignored.
inline Bytes Hex(const std::string& text) {
  Bytes out;
  int high = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c == ' ' || c == '\n')
      continue;
    else
      throw std::invalid_argument("not a hex digit");
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd number of hex digits");
  return out;
}

inline Bytes Cat(std::initializer_list<std::string> parts) {
  Bytes out;
  for (const std::string& p : parts) {
    Bytes b = Hex(p);
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

// --- the empty job "Job", ID 0x12345678: 4 + 4 + 4 + 4 + 4 x 5 + 4 x 5 bytes
inline const std::string kEmptyJob =
    "4F560000"                    // magic "OV" 0 0
    "78563412"                    // ID 0x12345678
    "04000000 4A6F6200"           // name length 4, "Job" and its zero
    "00000000"                    // Active false
    "00000000"                    // ActionAfterRun: nothing
    "00000000"                    // ToLog false
    "00000000"                    // no events
    "00000000"                    // no steps
    "00000000 00000000 00000000"  // RunOnStart, RunOnExit, Hidden
    "00000000"                    // Category
    "03000000";                   // Priority "Normal"

// --- a job "Backup", ID 0x01020304, with events and steps, with and without
// parameter blocks, written in pieces so that older layouts are prefixes.
inline const std::string kRichHeader =
    "4F560000"
    "04030201"                    // ID 0x01020304
    "07000000 4261636B757000"     // "Backup"
    "FFFFFFFF"                    // Active, true as the host writes it
    "01000000"                    // ActionAfterRun: deactivate
    "01000000";                   // ToLog true
inline const std::string kRichEvents =
    "02000000"                    // two events
    "E9030000 00000000 FFFFFFFF"  // plug-in 1001, runner 0, enabled
    "03000000 0A0B0C"             // a block of 3 bytes
    "D0250000 01000000 00000000"  // plug-in 9680, runner 1, disabled
    "00000000";                   // no block
inline const std::string kRichSteps =
    "02000000"                    // two steps
    "D0250000 03000000 FFFFFFFF"  // plug-in 9680, method 3, enabled
    "05000000 436F707900"         // name "Copy"
    "05000000 0102030405"         // a block of 5 bytes
    "0B6D366F 00000000 00000000"  // plug-in 1865837835, method 0, disabled
    "01000000 00"                 // an empty name: just its zero
    "00000000";                   // no block
inline const std::string kRichGroupA = "01000000 00000000 01000000";  // start, not exit, hidden
inline const std::string kRichGroupB = "07000000";                     // Category 7
inline const std::string kRichGroupC = "05000000";                     // Priority "Highest"
// What a file without the optional groups is written back with: the defaults.
inline const std::string kDefaultGroupA = "00000000 00000000 00000000";
inline const std::string kDefaultGroupB = "00000000";
inline const std::string kDefaultGroupC = "03000000";

inline Bytes RichJob() {
  return Cat({kRichHeader, kRichEvents, kRichSteps, kRichGroupA, kRichGroupB, kRichGroupC});
}

// --- the same empty job with Active stored as 1 (any non-zero value is true)
inline const std::string kActiveOneJob =
    "4F560000 78563412 04000000 4A6F6200"
    "01000000"                    // Active true, stored as 1
    "02000000"                    // ActionAfterRun: delete the job
    "00000000 00000000 00000000"
    "00000000 00000000 00000000 00000000 03000000";

// --- a job file put together from its parts, for tests that need jobs of
// their own on disk (the layout written out field by field, not by the
// program's writer).
struct EventSpec {
  int32_t plugin;
  int32_t runner;
  bool enabled = true;
  Bytes block = {};
};
struct StepSpec {
  int32_t plugin;
  int32_t method;
  std::string name;
  bool enabled = true;
  Bytes block = {};
};
struct JobSpec {
  int32_t id;
  std::string name;
  int32_t active = 0;  // as stored: 0, 1 or -1
  int32_t actionAfterRun = 0;
  bool toLog = true;
  std::vector<EventSpec> events = {};
  std::vector<StepSpec> steps = {};
  bool runOnStart = false;
  bool runOnExit = false;
  bool hidden = false;
  int32_t category = 0;
  int32_t priority = 3;
};

inline void PutDword(Bytes& b, int32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

inline void PutText(Bytes& b, const std::string& s) {
  PutDword(b, static_cast<int32_t>(s.size() + 1));
  b.insert(b.end(), s.begin(), s.end());
  b.push_back(0);
}

inline void PutBlock(Bytes& b, const Bytes& block) {
  PutDword(b, static_cast<int32_t>(block.size()));
  b.insert(b.end(), block.begin(), block.end());
}

inline Bytes JobFile(const JobSpec& j) {
  Bytes b = {'O', 'V', 0, 0};
  PutDword(b, j.id);
  PutText(b, j.name);
  PutDword(b, j.active);
  PutDword(b, j.actionAfterRun);
  PutDword(b, j.toLog ? 1 : 0);
  PutDword(b, static_cast<int32_t>(j.events.size()));
  for (const EventSpec& e : j.events) {
    PutDword(b, e.plugin);
    PutDword(b, e.runner);
    PutDword(b, e.enabled ? -1 : 0);
    PutBlock(b, e.block);
  }
  PutDword(b, static_cast<int32_t>(j.steps.size()));
  for (const StepSpec& s : j.steps) {
    PutDword(b, s.plugin);
    PutDword(b, s.method);
    PutDword(b, s.enabled ? -1 : 0);
    PutText(b, s.name);
    PutBlock(b, s.block);
  }
  PutDword(b, j.runOnStart ? 1 : 0);
  PutDword(b, j.runOnExit ? 1 : 0);
  PutDword(b, j.hidden ? 1 : 0);
  PutDword(b, j.category);
  PutDword(b, j.priority);
  return b;
}

// The canonical file name of a job ID.
inline std::string JobFileName(int32_t id) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s(8, '0');
  for (int i = 7; i >= 0; --i) s[static_cast<size_t>(7 - i)] = kHex[(static_cast<uint32_t>(id) >> (4 * i)) & 0xF];
  return s + ".ovj";
}

// A little-endian dword as a block.
inline Bytes DwordBlock(int32_t v) {
  Bytes b;
  PutDword(b, v);
  return b;
}

}  // namespace jobbytes
