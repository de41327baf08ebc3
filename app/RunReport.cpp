#include "app/RunReport.h"

#include <vector>

#include "app/OutcomeWords.h"
#include "env/Enviro.h"

namespace app {

RunReport::RunReport(std::unique_ptr<platform::IOutputFile> file, platform::IFileSystem& fs, platform::ILocale& locale)
    : file_(std::move(file)), fs_(fs), locale_(locale) {}

namespace {
// The text with every control byte in the form RunReport.h tells.
std::string Escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c != 0x7F) {
      out += ch;
    } else if (c == '\r') {
      out += "<CR>";
    } else if (c == '\n') {
      out += "<LF>";
    } else if (c == '\t') {
      out += "<TAB>";
    } else {
      out += '<';
      out += "0123456789ABCDEF"[c >> 4];
      out += "0123456789ABCDEF"[c & 0xF];
      out += '>';
    }
  }
  return out;
}
}  // namespace

void RunReport::Put(const std::string& utf8) {
  // One write per line: whatever was written is in the file should the
  // process die right after.
  if (!file_->Append(Escaped(utf8) + "\r\n")) ok_ = false;
}

void RunReport::Line(const std::string& utf8) {
  if (utf8.rfind("\r\n", 0) != 0) {
    Put(utf8);
  } else if (!file_->Append("\r\n" + Escaped(utf8.substr(2)) + "\r\n")) {
    ok_ = false;
  }
}

void RunReport::Field(const char* name, const std::string& ansiValue) {
  Put(std::string(name) + ": " + locale_.ToUtf8(ansiValue));
}

void RunReport::Verdict(const std::string& result, uint32_t exitCode) {
  Put("result: " + result);
  Put("exit code: " + std::to_string(exitCode));
}

bool RunReport::Close() { return static_cast<bool>(file_->Flush()) && ok_; }

void RunReport::OnLogRead(const TRunData& data) {
  Field("application", data.UninsData.AppName);
  const env::PathRules paths(locale_);
  places_.clear();
  for (const std::string& place : {data.UninsData.BaseDir, data.UninsData.ShortcutDir}) {
    if (!place.empty()) places_.push_back(locale_.UpperAnsi(paths.JoinPath(place, "")));
  }
}

bool RunReport::InPlaces(const std::string& path) const {
  const env::PathRules paths(locale_);
  const std::string key = locale_.UpperAnsi(paths.JoinPath(path, ""));
  for (const std::string& place : places_) {
    if (key.compare(0, place.size(), place) == 0) return true;
  }
  return false;
}

void RunReport::OnLogDeleted(const Outcome& log) { Object("log", log); }

void RunReport::OnOutcome(const Outcome& outcome) { Object(KindName(outcome.kind), outcome); }

void RunReport::Object(const char* kind, const Outcome& o) {
  std::string refusal;
  if (o.result == Result::Failed && o.error != 0) refusal = ErrorText(o.error);
  if (o.result == Result::NotEmpty && o.kind == ObjectKind::Folder && InPlaces(o.path)) {
    // What stays, as the folder holds it now.
    if (const auto entries = fs_.ListFolder(o.path)) {
      std::vector<std::string> staying;
      for (const platform::FileEntry& e : *entries) {
        if (e.name != "." && e.name != "..") staying.push_back(e.name);
      }
      if (!staying.empty()) refusal = NotEmptyText(staying);
    }
  }
  std::string word = ResultWord(o.result);
  word.resize(11, ' ');
  Put(word + locale_.ToUtf8(ObjectLine(kind, ObjectPath(o), OutcomeReason(o, refusal))));
}

void RunReport::OnRegistration(const RegistrationResult& r) {
  std::string line = "registration " + r.version + ": ";
  if (!r.ours) {
    line += "not this program's; nothing counted down";
  } else if (!r.countBefore) {
    line += "no count to count down";
  } else if (r.lockTimedOut) {
    line += "AppsServed " + std::to_string(*r.countBefore) +
            " left as it stands: another uninstaller held its lock past the wait";
  } else if (r.countedEarlier) {
    line += "counted down by an earlier run of this log; AppsServed " + std::to_string(*r.countBefore) +
            " as it stands";
  } else if (r.recordFailed) {
    line += "AppsServed " + std::to_string(*r.countBefore) +
            " left as it stands: the count-down could not be written into the journal";
  } else {
    line += "AppsServed " + std::to_string(*r.countBefore);
    const int32_t next = static_cast<int32_t>(static_cast<uint32_t>(*r.countBefore) - 1u);
    line += r.countAfter ? " -> " + std::to_string(*r.countAfter)
                         : ", the new count " + std::to_string(next) + " could not be written";
  }
  if (r.registrationDeleted) line += "; registration deleted";
  if (r.selfDeletionFailed) {
    line += "; warning: the self-deletion could not be scheduled, so the registration stays (count 0) "
            "for a later run to finish";
  } else if (r.selfDeletionScheduled || r.deletedAtRestart) {
    line += "; self-deletion scheduled for the next start of Windows";
    if (!r.selfDeletionScheduled) line += " (the run-once entry could not be written)";
  } else {
    line += "; self-deletion not scheduled";
  }
  Put(line);
}

void RunReport::OnNote(const std::string& text) { Put(text); }

void RunReport::OnError(const std::string& text) { Field("error", text); }

}  // namespace app
