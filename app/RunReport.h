#pragma once
// The report of a run (/log:<file>), for a help desk reading it in Notepad
// and a script reading it line by line: UTF-8 text with CRLF line ends, a
// header, then one line per step of the run and per object of the removal,
// in the order they happened, each line written to the file right after
// what it says happened, so that a run that dies leaves the lines so far.
// The object lines say what `undtool plan` says beforehand, in its words
// (app/OutcomeWords.h).
//
//   Desinstalador Kestrivon 1.0.0.3: report of an uninstallation
//   started: 2026-12-08 10:25:03
//   command line: "C:\...\desinstalador.exe" /quiet "/f:C:\App\app.und" /log:C:\r.txt
//   mode: quiet
//   log: C:\App\app.und
//   application: Demo
//   removed    log      C:\App\app.und
//   removed    file     C:\App\app.exe
//   kept       file     C:\App\data.ini  -- changed since installation (...)
//   scheduled  file     C:\App\busy.dll  -- in use (error 32: ...): deleted at the next start of Windows
//   ...
//   registration 1.0.0.3: AppsServed 2 -> 1; self-deletion not scheduled
//   result: the application is gone once Windows starts again (2 objects deleted then)
//   exit code: 3010
//
// One line is one step or one object, whatever the texts it shows hold
// (the application's name comes from the log, paths from the log and the
// disk): a control byte in a line (0x00-0x1F, 0x7F) is written as <CR>,
// <LF> or <TAB> for a carriage return, a line feed or a tab, else as its
// two hexadecimal digits in angle brackets (<00>, <1B>, <7F>). No file name
// holds '<' or '>', so an escape within a path is never a part of the name;
// backslashes are left as they are. Only the report's own line ends are
// CR LF.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/RunListener.h"
#include "platform/Services.h"

namespace app {

class RunReport : public IRunListener {
 public:
  RunReport(std::unique_ptr<platform::IOutputFile> file, platform::IFileSystem& fs, platform::ILocale& locale);

  // One line of ASCII or UTF-8 text; an ANSI text goes through Field. A
  // line end at its very start is written as it stands: it ends a line that
  // an earlier run, cut off, left open in the same file.
  void Line(const std::string& utf8);
  // "name: value", the value converted from the ANSI code page.
  void Field(const char* name, const std::string& ansiValue);
  // The result and the exit code, the report's last two lines (the run's
  // session writes them, app/RunSession.h).
  void Verdict(const std::string& result, uint32_t exitCode);
  // Writes the file through to the disk. False when a line, or the flush,
  // could not be written.
  bool Close();

  // IRunListener
  void OnLogRead(const TRunData& data) override;
  void OnLogDeleted(const Outcome& log) override;
  void OnOutcome(const Outcome& outcome) override;
  void OnRegistration(const RegistrationResult& result) override;
  void OnError(const std::string& text) override;
  void OnNote(const std::string& text) override;

 private:
  void Object(const char* kind, const Outcome& outcome);
  // Whether the folder at `path` is the installation folder or the shortcut
  // folder or lies in one: only there does a line name what a folder holds.
  bool InPlaces(const std::string& path) const;
  // `utf8` with its control bytes escaped, then the line end.
  void Put(const std::string& utf8);

  std::unique_ptr<platform::IOutputFile> file_;
  platform::IFileSystem& fs_;
  platform::ILocale& locale_;
  bool ok_ = true;
  std::vector<std::string> places_;  // upper-cased, with a trailing backslash
};

}  // namespace app
