// TFtpScript: the interpreter of FTP scripts. One command per line, run in
// order on one connection of a TNMFTP; every command reports its outcome.
// The same object checks a script's syntax without a client. Reports go to
// a callback (the job's log when a step runs, message boxes for the
// dialog's check).
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "NMFtp.h"

// level: 0 information, 1 warning, 2 error.
using TScriptReport = std::function<void(uint8_t level, const std::string& text)>;

struct TScriptCommand {
  const char* Word;
  const char* Syntax;  // shown in the dialog and in syntax errors
  int Required;        // arguments that must be there
};
// The commands in the order the dialog lists them.
extern const TScriptCommand kScriptCommands[14];

// A failure that ends the whole run (a failing PWD, an output or list
// file that cannot be written or read).
class EScriptFatal : public std::runtime_error {
 public:
  explicit EScriptFatal(const std::string& message) : std::runtime_error(message) {}
};

// The ordinary files (hidden and system ones too, no folders) a local
// pattern names, each with the pattern's folder.
std::vector<std::string> MatchingFiles(const std::string& pattern);

class TFtpScript {
 public:
  // client: nullptr for a syntax check only. While the interpreter lives
  // it reports the client's socket errors and takes its failure events.
  TFtpScript(TNMFTP* client, TScriptReport report);
  ~TFtpScript();
  TFtpScript(const TFtpScript&) = delete;
  TFtpScript& operator=(const TFtpScript&) = delete;

  // Connects when needed and runs the lines. False when the connection
  // failed, the run was stopped, or the abort flag ended it after an
  // invalid or abnormal command. Raises EScriptFatal (and whatever a
  // stopped run raised) for failures that end the run.
  bool Run(const std::vector<std::string>& lines, bool abortOnError);
  // Reports what a run would find wrong before sending anything: unknown
  // commands and missing arguments. Blank lines and comments are valid.
  void CheckSyntax(const std::vector<std::string>& lines);

 private:
  // Runs one command; false when it was abnormal. report false: nothing
  // is reported for the line (PASV with an unknown argument).
  bool Execute(int command, const std::vector<std::string>& words, int line, bool& report);
  void Listing(bool names, const std::string& dir, const std::string& file, bool& ok);
  void Upload(bool append, const std::string& source, const std::string& dir, bool& ok);
  void Download(const std::string& source, const std::string& localDir, bool& ok);
  void DeleteFiles(const std::string& path, bool& ok);
  // For a pattern "dir/mask": changes into dir when there is one, calls
  // each for every listed name that fits the mask, and changes back. A
  // failure to change or list fails the command, as does what each raises.
  void ForEachMatch(const std::string& pattern, bool& ok, const std::function<void(const std::string&)>& each);
  // The names NLST gives for the current directory that may be used as
  // file names here; the others are reported and skipped.
  std::vector<std::string> ListNames();
  void Fail(const std::exception& e, bool& ok);
  void Report(uint8_t level, const std::string& text) const;

  TNMFTP* client_;
  TScriptReport report_;
  TOnErrorEvent oldOnError_;
  TFailureEvent oldOnFailure_;
  TNMListItem oldOnListItem_;
};
