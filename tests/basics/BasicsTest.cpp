#include "BasicsTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "Host.h"
#include "OVClassesPlugins.h"
#include "DialogDriver.h"
#include "TestUtil.h"

const char* const kPickedVariable = "%TempDir%";

// The delivered plug-in these helpers load (another plug-in's tests name
// theirs when they compile this file).
#ifndef OV_PLUGIN_UNDER_TEST
#define OV_PLUGIN_UNDER_TEST "basics"
#endif

std::string FakeExpand(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
    if (end != std::string::npos && end > i + 1) {
      out += "<" + text.substr(i + 1, end - i - 1) + ">";
      i = end + 1;
    } else {
      out += text[i++];
    }
  }
  return out;
}

namespace {

void OVAPI ExpandService(const char* src, char* dest, int32_t size) {
  lstrcpynA(dest, FakeExpand(src ? src : "").c_str(), size + 1);
}

Bool32 OVAPI SelectVariableService(char* dest, int32_t size) {
  lstrcpynA(dest, kPickedVariable, size);
  return OV_TRUE;
}

// Loaded once for the whole run and released before the host's own
// objects go.
class TBasicsEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    if (list_) {
      list_->ShutdownAll();
      list_.reset();
    }
    if (!dir_.empty()) testutil::RemoveTree(dir_);
  }
  TOVPlugin& Plugin() {
    if (!list_) Load();
    return *list_->Items(0);
  }

 private:
  void Load() {
    HostRecord.ExpandVariables = ExpandService;
    HostRecord.SelectVariable = SelectVariableService;
    const std::string name = OV_PLUGIN_UNDER_TEST;
    dir_ = testutil::MakeTempDir(name);
    std::string from = std::string(OV_DIST_DIR) + "\\Plugins\\" + name + "\\" + name + ".ovp";
    testutil::MakeDirs(dir_ + "Plugins\\" + name);
    CopyFileA(from.c_str(), (dir_ + "Plugins\\" + name + "\\" + name + ".ovp").c_str(), FALSE);
    list_ = std::make_unique<TOVPlugins>();
    list_->LoadFromDir(dir_ + "Plugins\\");
    if (list_->Count() != 1) {
      fprintf(stderr, "%s.ovp did not load\n", name.c_str());
      abort();
    }
  }
  std::unique_ptr<TOVPlugins> list_;
  std::string dir_;
};

TBasicsEnvironment* g_env = static_cast<TBasicsEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new TBasicsEnvironment));

}  // namespace

TOVPlugin& Basics() { return g_env->Plugin(); }

TOVMethodParams Block(const Bytes& bytes) {
  TOVMethodParams p{static_cast<int32_t>(bytes.size()), nullptr};
  if (bytes.empty()) return p;
  HostRecord.Alloc(&p.Data, p.Size);
  std::memcpy(p.Data, bytes.data(), bytes.size());
  return p;
}

void FreeBlock(TOVMethodParams& p) {
  if (p.Size > 0 && p.Data) HostRecord.Free(&p.Data, p.Size);
  p = TOVMethodParams{0, nullptr};
}

Bytes BytesOf(const TOVMethodParams& p) {
  if (!p.Data || p.Size <= 0) return Bytes();
  auto* b = static_cast<const uint8_t*>(p.Data);
  return Bytes(b, b + p.Size);
}

bool Exec(int index, const Bytes& block) {
  TOVMethodParams p = Block(block);
  bool ok = Basics().ExecMethod(index, &p);
  FreeBlock(p);
  return ok;
}

std::string Descr(int index, const Bytes& block) {
  TOVMethodParams p = Block(block);
  std::string d = Basics().MethodDescription(index, &p);
  FreeBlock(p);
  return d;
}

bool Config(int index, Bytes& block) {
  TOVMethodParams p = Block(block);
  bool ok = Basics().ConfigMethod(index, &p);
  block = BytesOf(p);
  FreeBlock(p);
  return ok;
}

// ------------------------------------------------------------- TBoxAnswer


TBoxAnswer::TBoxAnswer(const std::string& caption, int button, int timeoutMs)
    : caption_(caption), button_(button), timeoutMs_(timeoutMs) {
  thread_ = CreateThread(nullptr, 0, Main, this, 0, nullptr);
}

TBoxAnswer::~TBoxAnswer() { Answered(); }

bool TBoxAnswer::Answered() {
  if (thread_) {
    WaitForSingleObject(thread_, static_cast<DWORD>(timeoutMs_) + 5000);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  return found_;
}

DWORD WINAPI TBoxAnswer::Main(void* p) {
  auto* self = static_cast<TBoxAnswer*>(p);
  HWND box = testutil::WaitForDialog(self->caption_, self->timeoutMs_);
  if (!box) return 1;
  // The box is up once its buttons are; give its text a moment to settle.
  testutil::WaitFor([&] { return GetDlgItem(box, self->button_) != nullptr; }, 2000);
  self->text_ = testutil::StaticTexts(box);
  self->found_ = true;
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(self->button_, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, self->button_)));
  return 0;
}
