// Every plug-in library exports exactly one name: InitOVPlugin.
#include <gtest/gtest.h>

#include <cstring>

#include "TestUtil.h"

namespace {

template <class T>
T At(const std::vector<uint8_t>& b, size_t off) {
  T v{};
  if (off + sizeof(T) <= b.size()) std::memcpy(&v, b.data() + off, sizeof(T));
  return v;
}

// Exported names of a PE file, read from its export directory.
std::vector<std::string> ExportNames(const std::string& path) {
  std::vector<uint8_t> b = testutil::ReadFileBytes(path);
  std::vector<std::string> names;
  uint32_t pe = At<uint32_t>(b, 0x3C);
  if (At<uint32_t>(b, pe) != 0x4550) return names;
  uint16_t sections = At<uint16_t>(b, pe + 6);
  uint16_t optSize = At<uint16_t>(b, pe + 20);
  size_t opt = pe + 24;
  // The export directory follows the optional header's fixed part, which
  // is 16 bytes longer in a 64-bit image (PE32+).
  bool pe32plus = At<uint16_t>(b, opt) == 0x20B;
  uint32_t exportRva = At<uint32_t>(b, opt + (pe32plus ? 112 : 96));
  size_t secTable = opt + optSize;
  auto toOffset = [&](uint32_t rva) -> size_t {
    for (uint16_t i = 0; i < sections; ++i) {
      size_t s = secTable + i * 40;
      uint32_t va = At<uint32_t>(b, s + 12), size = At<uint32_t>(b, s + 16),
               raw = At<uint32_t>(b, s + 20);
      if (rva >= va && rva < va + size) return rva - va + raw;
    }
    return 0;
  };
  if (!exportRva) return names;
  size_t dir = toOffset(exportRva);
  uint32_t count = At<uint32_t>(b, dir + 24);
  size_t nameTable = toOffset(At<uint32_t>(b, dir + 32));
  for (uint32_t i = 0; i < count; ++i) {
    size_t n = toOffset(At<uint32_t>(b, nameTable + 4 * i));
    if (n < b.size()) names.emplace_back(reinterpret_cast<const char*>(b.data() + n));
  }
  return names;
}

void CollectPlugins(const std::string& dir, std::vector<std::string>& out) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string n = fd.cFileName;
    if (n == "." || n == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      CollectPlugins(dir + "\\" + n, out);
    else if (n.size() > 4 && n.substr(n.size() - 4) == ".ovp")
      out.push_back(dir + "\\" + n);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

}  // namespace

TEST(PluginExports, EveryPluginExportsOnlyInitOVPlugin) {
  std::vector<std::string> files;
  CollectPlugins(std::string(OV_DIST_DIR) + "\\Plugins", files);
  CollectPlugins(std::string(OV_TEST_PLUGIN_DIR) + "\\tp_good", files);
  // Built on the framework, whose export comes from a static library.
  CollectPlugins(std::string(OV_TEST_PLUGIN_DIR) + "\\tp_framework", files);
  CollectPlugins(std::string(OV_TEST_PLUGIN_DIR) + "\\tp_fwempty", files);
  ASSERT_FALSE(files.empty());
  for (const std::string& f : files)
    EXPECT_EQ(ExportNames(f), std::vector<std::string>{"InitOVPlugin"}) << f;
}

TEST(PluginExports, TheReaderSeesOtherExports) {
  // The check above would pass on a reader that finds nothing.
  EXPECT_EQ(ExportNames(testutil::TestPluginPath("tp_noexport")),
            std::vector<std::string>{"SomethingElse"});
}
