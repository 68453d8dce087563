#include "UnZip32.h"

#include <windows.h>

#include <cstring>

#include "OVError.h"

namespace {

// Extraction is not serialised: each thread collects its own lines.
thread_local std::vector<std::string>* t_lines = nullptr;

int UNZAPI CollectOutput(char* text, unsigned long length) {
  if (t_lines && text) {
    std::string s(text, length);
    size_t start = 0;
    while (start < s.size()) {
      size_t end = s.find('\n', start);
      if (end == std::string::npos) end = s.size();
      std::string line = s.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) t_lines->push_back(line);
      start = end + 1;
    }
  }
  return static_cast<int>(length);
}
int UNZAPI ReplaceQuery(char*) { return 1; }
int UNZAPI PasswordQuery(char*, int, const char*, const char*) { return 1; }
void UNZAPI ReceiveMessage(unsigned long, unsigned long, unsigned, unsigned, unsigned, unsigned, unsigned,
                           unsigned, char, const char*, const char*, unsigned long, char) {}
int UNZAPI Service(const char*, unsigned long) { return 0; }

}  // namespace

void BuildUnzipOptions(const TUnzipSettings& s, const std::string& zip, const std::string& dest, TUnzipOptions& o) {
  memset(&o, 0, sizeof o);
  o.OnlyNewer = s.SkipOlder ? 1 : 0;
  o.Quiet = 2;
  // Freshen stays off whatever "Skip older files" says: with it, files
  // missing on disk would never be extracted and a run into an empty
  // folder would extract nothing and report success.
  o.Freshen = 0;
  o.UseFolderNames = s.UseFolderNames ? 1 : 0;
  o.Overwrite = s.Overwrite ? 1 : 0;
  o.IgnoreCase = 1;
  o.ZipFile = zip.c_str();
  o.ExtractDir = dest.c_str();
}

int RunUnzip(const TUnzipSettings& s, const std::string& zip, const std::string& dest,
             std::vector<std::string>& lines) {
  TUnzipOptions o;
  BuildUnzipOptions(s, zip, dest, o);
  TUnzipUserFunctions f{CollectOutput, nullptr, ReplaceQuery, PasswordQuery, ReceiveMessage, Service};
  t_lines = &lines;
  int rc = Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, &o, &f);
  t_lines = nullptr;
  return rc;
}

std::string UnzipResultText(int code) {
  switch (code) {
    case PK_OK: return "No errors detected.";
    case PK_WARN: return "Extracted with warnings.";
    case PK_ERR: return "Some entries were not extracted.";
    case PK_BADERR: return "Zip file structure invalid.";
    case PK_MEM: return "Out of memory.";
    case PK_NOZIP: return "Zip file not found or not readable.";
    case PK_PARAM: return "Invalid arguments.";
    case PK_DISK: return "Disk full or a file could not be written.";
    case PK_EOF: return "Unexpected end of zip file.";
    case PK_ABORT: return "Interrupted.";
    case PK_UNSUPP: return "Unsupported compression method.";
    default: return Format("Unknown error #%d", code);
  }
}
