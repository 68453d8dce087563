#include <winsock2.h>

#include "FtpScr.h"

#include <windows.h>

#include <cctype>
#include <fstream>

#include "NetUtil.h"
#include "OVCommaText.h"
#include "OVError.h"

const TScriptCommand kScriptCommands[14] = {
    {"APPEND", "APPEND local-file [remote-directory]", 1},
    {"CD", "CD remote-directory", 1},
    {"DELETE", "DELETE remote-file", 1},
    {"DIR", "DIR [remote-directory] [local-file]", 0},
    {"DOCOMMAND", "DOCOMMAND command", 1},
    {"GET", "GET remote-file [local-directory]", 1},
    {"LS", "LS [remote-directory] [local-file]", 0},
    {"MKDIR", "MKDIR directory", 1},
    {"PASV", "PASV [ON/OFF]", 0},
    {"PUT", "PUT local-file [remote-directory]", 1},
    {"PWD", "PWD", 0},
    {"RMDIR", "RMDIR directory", 1},
    {"RENAME", "RENAME filename newfilename", 2},
    {"TYPE", "TYPE [A/I]", 0},
};

namespace {

enum {
  cAppend, cCd, cDelete, cDir, cDoCommand, cGet, cLs, cMkdir, cPasv, cPut, cPwd, cRmdir, cRename, cType
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool Wild(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

int FindCommand(const std::string& word) {
  for (int i = 0; i < 14; ++i)
    if (word == kScriptCommands[i].Word) return i;
  return -1;
}

std::string Word(const std::vector<std::string>& words, size_t i) { return i < words.size() ? words[i] : std::string(); }

// Words of a line; empty when it is blank, a comment, or starts with an
// empty word (spaces and commas only).
std::vector<std::string> CommandWords(const std::string& line) {
  std::vector<std::string> words = SplitCommaText(line);
  if (words.empty() || words[0].empty() || words[0][0] == '#') return {};
  return words;
}

std::string BareName(const std::string& path) {
  size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool LocalFileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A remote pattern's directory ("" when none) and mask.
void SplitPattern(const std::string& pattern, std::string& dir, std::string& mask) {
  size_t slash = pattern.rfind('/');
  if (slash == std::string::npos) {
    dir.clear();
    mask = pattern;
    return;
  }
  dir = slash == 0 ? "/" : pattern.substr(0, slash);
  mask = pattern.substr(slash + 1);
  if (Wild(dir)) dir.clear();
}

std::string Printable(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
  return out;
}

}  // namespace

std::vector<std::string> MatchingFiles(const std::string& pattern) {
  std::vector<std::string> files;
  size_t slash = pattern.find_last_of("\\/:");
  std::string folder = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
  WIN32_FIND_DATAA fd;
  HANDLE find = FindFirstFileA(pattern.c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return files;
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(folder + fd.cFileName);
  } while (FindNextFileA(find, &fd));
  FindClose(find);
  return files;
}

TFtpScript::TFtpScript(TNMFTP* client, TScriptReport report) : client_(client), report_(std::move(report)) {
  if (!client_) return;
  oldOnError_ = client_->OnError;
  oldOnFailure_ = client_->OnFailure;
  oldOnListItem_ = client_->OnListItem;
  client_->OnError = [this](TPowersock*, uint16_t, const std::string& message) { Report(2, message); };
  // Handled stays false: every refused command raises and is reported as
  // the command's failure.
  client_->OnFailure = [](bool&, TCmdType) {};
}

TFtpScript::~TFtpScript() {
  if (!client_) return;
  client_->OnError = oldOnError_;
  client_->OnFailure = oldOnFailure_;
  client_->OnListItem = oldOnListItem_;
}

void TFtpScript::Report(uint8_t level, const std::string& text) const {
  if (report_) report_(level, text);
}

void TFtpScript::Fail(const std::exception& e, bool& ok) {
  ok = false;
  Report(2, e.what());
  // A stopped run ends here, whatever the command would do next.
  if (client_->Cancelled()) throw;
}

bool TFtpScript::Run(const std::vector<std::string>& lines, bool abortOnError) {
  if (!client_->Connected()) {
    try {
      client_->Connect();
    } catch (const std::exception& e) {
      Report(2, e.what());
      return false;
    }
  }
  auto aborted = [this] {
    Report(1, "Script executing aborted.");
    return false;
  };
  for (size_t i = 0; i < lines.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    const std::vector<std::string> words = CommandWords(lines[i]);
    if (words.empty()) continue;
    const std::string word = Upper(words[0]);
    const int command = FindCommand(word);
    if (command < 0) {
      Report(2, Format("Error in line %d: invalid command \"%s\"", number, word.c_str()));
      if (abortOnError) return aborted();
      continue;
    }
    const TScriptCommand& c = kScriptCommands[command];
    if ((c.Required >= 1 && Word(words, 1).empty()) || (c.Required >= 2 && Word(words, 2).empty())) {
      Report(2, Format("Error in line %d, syntax: %s", number, c.Syntax));
      continue;
    }
    bool report = true;
    bool ok = Execute(command, words, number, report);
    if (client_->Cancelled()) return false;
    if (!report) continue;
    if (ok) {
      Report(0, word + " command succesful");
    } else {
      Report(1, word + " command abnormal");
      if (abortOnError) return aborted();
    }
  }
  return true;
}

void TFtpScript::CheckSyntax(const std::vector<std::string>& lines) {
  for (size_t i = 0; i < lines.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    const std::vector<std::string> words = CommandWords(lines[i]);
    if (words.empty()) continue;
    const std::string word = Upper(words[0]);
    const int command = FindCommand(word);
    if (command < 0) {
      Report(2, Format("Error in line %d: invalid command \"%s\"", number, word.c_str()));
      continue;
    }
    const TScriptCommand& c = kScriptCommands[command];
    for (int a = 1; a <= c.Required; ++a)
      if (Word(words, static_cast<size_t>(a)).empty()) Report(2, Format("Error in line %d, syntax: %s", number, c.Syntax));
  }
}

bool TFtpScript::Execute(int command, const std::vector<std::string>& words, int line, bool& report) {
  const std::string a1 = Word(words, 1), a2 = Word(words, 2);
  bool ok = true;
  switch (command) {
    case cPwd: {
      // Not caught: a server that cannot say where we are ends the run.
      std::string dir;
      try {
        dir = client_->CurrentDir();
      } catch (const std::exception& e) {
        throw EScriptFatal(e.what());
      }
      Report(0, "Current dir is " + dir);
      return true;
    }
    case cType: {
      int type = 1;
      const char letter = a1.empty() ? 'A' : static_cast<char>(std::toupper(static_cast<unsigned char>(a1[0])));
      if (letter == 'I')
        type = 2;
      else if (letter == 'B')
        type = 3;
      else if (letter != 'A') {
        Report(2, Format("Error in line %d, syntax: %s", line, kScriptCommands[cType].Syntax));
        report = false;
        return false;
      }
      try {
        client_->SetTransferType(type);
      } catch (const std::exception& e) {
        Fail(e, ok);
      }
      return ok;
    }
    case cPasv: {
      const std::string value = a1.empty() ? "ON" : Upper(a1);
      if (value != "ON" && value != "OFF") {
        report = false;
        return true;
      }
      client_->Passive = value == "ON";
      Report(0, "PASSIVE MODE is " + value);
      return true;
    }
    case cDir:
    case cLs:
      Listing(command == cLs, a1, a2, ok);
      return ok;
    case cPut:
    case cAppend:
      Upload(command == cAppend, a1, a2, ok);
      return ok;
    case cGet:
      Download(a1, a2, ok);
      return ok;
    case cDelete:
      DeleteFiles(a1, ok);
      return ok;
    default:
      break;
  }
  try {
    switch (command) {
      case cCd:
        client_->ChangeDir(a1);
        break;
      case cMkdir:
        client_->MakeDir(a1);
        break;
      case cRmdir:
        client_->RemoveDir(a1);
        break;
      case cDoCommand:
        client_->DoCommand(a1);
        break;
      case cRename:
        client_->Rename(a1, a2);
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    Fail(e, ok);
  }
  return ok;
}

void TFtpScript::Listing(bool names, const std::string& dir, const std::string& file, bool& ok) {
  std::vector<std::string> lines;
  std::string noted;
  bool changed = false;
  try {
    if (!dir.empty()) {
      noted = client_->CurrentDir();
      client_->ChangeDir(dir);
      changed = true;
    }
    client_->OnListItem = [&lines](const std::string& item) { lines.push_back(item); };
    if (names)
      client_->NList();
    else
      client_->List();
  } catch (const std::exception& e) {
    client_->OnListItem = oldOnListItem_;
    Fail(e, ok);
  }
  client_->OnListItem = oldOnListItem_;
  if (changed) {
    try {
      client_->ChangeDir(noted);
    } catch (const std::exception& e) {
      Fail(e, ok);
    }
  }
  if (!ok) return;
  if (file.empty()) {
    for (const std::string& l : lines) Report(0, l);
    return;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  for (const std::string& l : lines) out << l << "\r\n";
  out.close();
  if (!out) throw EScriptFatal(Format("Cannot write \"%s\"", file.c_str()));
}

void TFtpScript::Upload(bool append, const std::string& source, const std::string& dir, bool& ok) {
  std::string remoteDir = dir;
  if (!remoteDir.empty() && remoteDir.back() != '/') remoteDir += '/';
  std::vector<std::string> files;
  const bool single = !Wild(source) && source[0] != '@';
  if (single) {
    files.push_back(source);
  } else if (source[0] == '@') {
    const std::string list = source.substr(1);
    if (!LocalFileExists(list)) {
      Report(2, "File " + list + " not exists");
      ok = false;
      return;
    }
    std::ifstream in(list, std::ios::binary);
    if (!in) throw EScriptFatal(Format("Cannot read \"%s\"", list.c_str()));
    std::string l;
    while (std::getline(in, l)) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      if (!l.empty()) files.push_back(l);
    }
  } else {
    files = MatchingFiles(source);
  }
  int done = 0, failed = 0;
  for (const std::string& f : files) {
    try {
      const std::string remote = remoteDir + BareName(f);
      if (append)
        client_->UploadAppend(f, remote);
      else
        client_->Upload(f, remote);
      ++done;
    } catch (const std::exception& e) {
      bool fileOk = true;
      Fail(e, fileOk);
      ++failed;
      if (single) ok = false;
    }
  }
  if (done > 0) Report(0, Format("%d files was uploaded", done));
  if (failed > 0) Report(1, Format("%d files upload failed", failed));
}

std::vector<std::string> TFtpScript::ListNames() {
  std::vector<std::string> names;
  client_->OnListItem = [&names](const std::string& item) { names.push_back(item); };
  try {
    client_->NList();
  } catch (...) {
    client_->OnListItem = oldOnListItem_;
    throw;
  }
  client_->OnListItem = oldOnListItem_;
  std::vector<std::string> plain;
  for (const std::string& name : names) {
    if (PlainFileName(name))
      plain.push_back(name);
    else
      Report(2, Format("Skipped \"%s\" from the server: not a plain file name.", Printable(name).c_str()));
  }
  return plain;
}

void TFtpScript::ForEachMatch(const std::string& pattern, bool& ok,
                              const std::function<void(const std::string&)>& each) {
  std::string dir, mask;
  SplitPattern(pattern, dir, mask);
  std::string noted;
  bool changed = false;
  try {
    if (!dir.empty()) {
      noted = client_->CurrentDir();
      client_->ChangeDir(dir);
      changed = true;
    }
    std::vector<std::string> names;
    try {
      names = ListNames();
    } catch (const std::exception& e) {
      Report(2, e.what());
      throw std::runtime_error("Cannot change directory " + dir);
    }
    for (const std::string& name : names)
      if (MatchFileMask(mask, name)) each(name);
  } catch (const std::exception& e) {
    Fail(e, ok);
  }
  if (changed) {
    try {
      client_->ChangeDir(noted);
    } catch (const std::exception& e) {
      Fail(e, ok);
    }
  }
}

void TFtpScript::Download(const std::string& source, const std::string& localDir, bool& ok) {
  const std::string folder = JoinFolder(localDir);
  if (!Wild(source)) {
    try {
      client_->Download(source, folder + source.substr(source.rfind('/') == std::string::npos ? 0 : source.rfind('/') + 1));
    } catch (const std::exception& e) {
      Fail(e, ok);
    }
    return;
  }
  int done = 0, failed = 0;
  ForEachMatch(source, ok, [&](const std::string& name) {
    std::string failure;
    try {
      client_->Download(name, folder + name);
      ++done;
      return;
    } catch (const std::exception& e) {
      if (client_->Cancelled()) throw;
      failure = e.what();
    }
    // A folder whose name fits the mask is no failure: it is one when we
    // can change into it and back.
    std::string here;
    try {
      here = client_->CurrentDir();
      client_->ChangeDir(name);
    } catch (const std::exception&) {
      if (client_->Cancelled()) throw;
      ++failed;
      Report(2, failure);
      return;
    }
    // When the way back fails, the names that follow would be looked for
    // in the wrong place: the raise ends the loop.
    client_->ChangeDir(here);
  });
  if (done > 0) Report(0, Format("%d files was downloaded", done));
  if (failed > 0) Report(1, Format("%d files download failed", failed));
}

void TFtpScript::DeleteFiles(const std::string& path, bool& ok) {
  if (!Wild(path)) {
    try {
      client_->Delete(path);
    } catch (const std::exception& e) {
      Fail(e, ok);
    }
    return;
  }
  int done = 0, failed = 0;
  ForEachMatch(path, ok, [&](const std::string& name) {
    try {
      client_->Delete(name);
      ++done;
    } catch (const std::exception& e) {
      bool fileOk = true;
      Fail(e, fileOk);
      ++failed;
    }
  });
  if (done > 0) Report(0, Format("%d files was deleted", done));
  if (failed > 0) Report(1, Format("%d files delete failed", failed));
}
