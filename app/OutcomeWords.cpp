#include "app/OutcomeWords.h"

#include "app/LogFormat.h"
#include "app/RemovalEngine.h"
#include "platform/Services.h"

namespace app {

const char* ResultWord(Result result) {
  switch (result) {
    case Result::Removed: return "removed";
    case Result::Changed:
    case Result::NotEmpty: return "kept";
    case Result::Absent: return "absent";
    case Result::Failed: return "failed";
    case Result::Scheduled: return "scheduled";
    case Result::Protected: return "protected";
    case Result::Link:
    case Result::NotTheApplications: return "kept";
  }
  return "?";
}

std::string ErrorText(uint32_t error) {
  const char* name = nullptr;
  switch (error) {
    case platform::kErrorFileNotFound: name = "not found"; break;
    case platform::kErrorPathNotFound: name = "a folder on the way is not found"; break;
    case platform::kErrorAccessDenied: name = "access denied"; break;
    case platform::kErrorSharingViolation: name = "in use by another program"; break;
    case platform::kErrorLockViolation: name = "locked by another program"; break;
    case platform::kErrorDirNotEmpty: name = "not empty"; break;
    case platform::kErrorDirectory: name = "not a folder"; break;
    case platform::kErrorBadNetPath: name = "the network path is not found"; break;
    case platform::kErrorNotReady: name = "the device is not ready"; break;
    case platform::kErrorInvalidDrive: name = "no such drive"; break;
    default: break;
  }
  return "error " + std::to_string(error) + (name != nullptr ? std::string(": ") + name : std::string());
}

std::string NotEmptyText(const std::vector<std::string>& staying) {
  constexpr size_t kShown = 3;
  std::string names;
  for (size_t i = 0; i < staying.size() && i < kShown; ++i) names += (i ? ", " : "") + staying[i];
  if (staying.size() > kShown) names += ", ...";
  return "not empty: " + std::to_string(staying.size()) + (staying.size() == 1 ? " entry stays (" : " entries stay (") +
         names + ")";
}

namespace {
// "0x" and eight hexadecimal digits, by hand: the uninstaller carries no
// printf.
std::string Hex(uint32_t value) {
  std::string hex = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) hex += "0123456789ABCDEF"[(value >> shift) & 15];
  return hex;
}
}  // namespace

std::string TimeStampText(int32_t dosTime) {
  if (auto text = DosTimeText(dosTime)) return *text;
  return Hex(static_cast<uint32_t>(dosTime));
}

std::string KeyText(uint32_t root, const std::string& path) {
  std::string name;
  if (root >= 0x80000000u) RootKeyName(root - 0x80000000u, name);
  if (name.empty()) name = Hex(root);
  const std::string sub = !path.empty() && path.front() == '\\' ? path.substr(1) : path;
  return sub.empty() ? name : name + "\\" + sub;
}

std::string ObjectPath(const Outcome& o) {
  return o.kind == ObjectKind::Key && o.root != 0 ? KeyText(o.root, o.keyPath) : o.path;
}

std::string OutcomeReason(const Outcome& o, const std::string& refusal) {
  constexpr uint32_t kNotAFolderToTouch = platform::kAttrHidden | platform::kAttrSystem | platform::kAttrVolume;
  const bool isKey = o.kind == ObjectKind::Key;
  const bool isFolder = o.kind == ObjectKind::Folder;
  switch (o.result) {
    case Result::Absent:
      if (isKey) {
        if (o.root == 0) return "the entry names no root key";
        return "not present";
      }
      if (o.attributes == 0) return "not present";
      // Found, then gone when its turn came: another run took it.
      if (o.error != 0) return "gone before its turn (" + ErrorText(o.error) + ")";
      if (!isFolder) return "the path names a folder";
      if ((o.attributes & kNotAFolderToTouch) != 0) return "hidden or system folder: counts as not there";
      return "not present";
    case Result::Changed:
      return "changed since installation (logged " + TimeStampText(o.loggedTime) + ", on disk " +
             TimeStampText(o.diskTime) + ")";
    case Result::Removed:
      return !isKey && !isFolder && (o.attributes & platform::kAttrReadOnly) != 0 ? "its read-only bit is dropped first"
                                                                                 : "";
    case Result::NotEmpty:
      if (isKey) return "it has subkeys; the walk ends here";
      return refusal.empty() ? "not empty" : refusal;
    case Result::Scheduled:
      if (isFolder) return "holds only what goes at the next start of Windows: removed then";
      return "in use (" + ErrorText(o.error) + "): deleted at the next start of Windows";
    case Result::Protected:
      return o.why != nullptr ? o.why : "not the application's";
    case Result::NotTheApplications:
      return "not the application's: its class names no file of the installation folder";
    case Result::Link:
      if ((o.attributes & platform::kAttrReparsePoint) != 0) return "a link: never followed nor removed";
      if (o.attributes != 0) return "read-only with other names (hard links): its read-only bit is left as it is";
      return "below a link: never looked into";
    case Result::Failed:
      break;
  }
  switch (o.step) {
    case Step::Open: return "it cannot be opened" + (refusal.empty() ? std::string() : " (" + refusal + ")");
    case Step::Find: return "it cannot be looked at" + (refusal.empty() ? std::string() : " (" + refusal + ")");
    case Step::ReadAttributes:
      return "its attributes cannot be read" + (refusal.empty() ? std::string() : " (" + refusal + ")");
    case Step::DropReadOnly: return "the read-only bit cannot be dropped (" + refusal + ")";
    case Step::Schedule: return "in use; its deletion at the next start of Windows was refused (" + refusal + ")";
    case Step::Delete:
    case Step::None: break;
  }
  return (isFolder ? "removal refused" : "deletion refused") + (refusal.empty() ? std::string() : ": " + refusal);
}

std::string ObjectLine(std::string_view kind, const std::string& path, const std::string& reason) {
  std::string line(kind);
  line.resize(9, ' ');
  line += path;
  if (!reason.empty()) line += "  -- " + reason;
  return line;
}

}  // namespace app
