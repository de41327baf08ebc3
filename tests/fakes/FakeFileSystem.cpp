#include "tests/fakes/FakeFileSystem.h"

#include <algorithm>

#include "platform/WindowsRules.h"

namespace fakes {

namespace {
const char* OpName(FsOp op) {
  switch (op) {
    case FsOp::Find: return "Find";
    case FsOp::GetAttributes: return "GetAttributes";
    case FsOp::SetAttributes: return "SetAttributes";
    case FsOp::RemoveFile: return "RemoveFile";
    case FsOp::RemoveFolder: return "RemoveFolder";
    case FsOp::List: return "List";
    case FsOp::Read: return "Read";
    case FsOp::Schedule: return "Schedule";
    case FsOp::Create: return "Create";
    case FsOp::Write: return "Write";
  }
  return "?";
}

// A drive ("C:") or its root is never an entry of its own.
bool IsDrive(const std::string& key) { return key.size() == 2 && key[1] == ':'; }
}  // namespace

size_t FakeFileSystem::NameStart(const std::string& path) const {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (locale_ != nullptr && locale_->IsLeadByte(c)) ++i;
    else if (c == '\\' || c == '/' || c == ':') start = i + 1;
  }
  return start;
}

void FakeFileSystem::UseLocale(platform::ILocale* locale) {
  locale_ = nullptr;
  for (int b = 0x80; locale != nullptr && b <= 0xFF; ++b) {
    if (locale->IsLeadByte(static_cast<unsigned char>(b))) locale_ = locale;  // a double-byte code page
  }
}

size_t FakeFileSystem::LastSeparator(std::string_view path) const {
  size_t last = std::string::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (locale_ != nullptr && locale_->IsLeadByte(c)) ++i;
    else if (c == '\\' || c == '/') last = i;
  }
  return last;
}

std::string FakeFileSystem::KeyOf(const std::string& path) const {
  std::string key = PlainKey(path);
  // A folder link on the way leads to its target, as the system follows it.
  for (int hops = 0; links_ > 0 && hops < 8; ++hops) {
    bool moved = false;
    for (size_t cut = key.find('\\'); cut != std::string::npos && !moved; cut = key.find('\\', cut + 1)) {
      auto it = nodes_.find(key.substr(0, cut));
      if (it != nodes_.end() && !it->second.target.empty()) {
        key = PlainKey(it->second.target) + key.substr(cut);
        moved = true;
      }
    }
    if (!moved) break;
  }
  return key;
}

std::string FakeFileSystem::Through(const std::string& path) const { return KeyOf(path); }

std::string FakeFileSystem::PlainKey(const std::string& path) const {
  if (locale_ == nullptr) return Key(path);
  // Under a double-byte code page only a real backslash goes at the end,
  // and only single-byte letters fold.
  std::string k = path;
  std::replace(k.begin(), k.end(), '/', '\\');
  if (!k.empty() && k.back() == '\\' && LastSeparator(k) == k.size() - 1) k.pop_back();
  for (size_t i = 0; i < k.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(k[i]);
    if (locale_->IsLeadByte(c)) ++i;
    else if (c >= 'a' && c <= 'z') k[i] = static_cast<char>(c - 0x20);
  }
  return k;
}

std::string FakeFileSystem::Key(const std::string& path) { return platform::PathKey(path); }

void FakeFileSystem::EnsureParents(const std::string& path) {
  std::string parent = path;
  while (true) {
    const size_t pos = LastSeparator(parent);
    if (pos == std::string::npos) return;
    parent = parent.substr(0, pos);
    const std::string key = KeyOf(parent);
    if (key.empty() || IsDrive(key)) return;
    if (nodes_.count(key) == 0) nodes_[key] = Folder(parent, platform::kAttrDirectory);
  }
}

void FakeFileSystem::AddFile(const std::string& path, int32_t dosTime, uint64_t size, uint32_t attributes,
                             std::string content) {
  EnsureParents(path);
  Node n;
  n.path = path;
  n.attributes = attributes & ~platform::kAttrDirectory;
  n.dosTime = dosTime;
  n.size = content.empty() ? size : content.size();
  n.content = std::move(content);
  nodes_[KeyOf(path)] = std::move(n);
}

void FakeFileSystem::AddFolder(const std::string& path, uint32_t attributes) {
  std::string p = path;
  if (!p.empty() && p.back() == '\\' && NameStart(p) == p.size()) p.pop_back();
  EnsureParents(p);
  nodes_[KeyOf(p)] = Folder(p, attributes | platform::kAttrDirectory);
}

void FakeFileSystem::AddLink(const std::string& path, const std::string& target) {
  EnsureParents(path);
  Node n;
  n.path = path;
  const auto to = nodes_.find(KeyOf(target));
  const bool folder = to != nodes_.end() && (to->second.attributes & platform::kAttrDirectory) != 0;
  n.attributes = platform::kAttrReparsePoint | (folder ? platform::kAttrDirectory : platform::kAttrArchive);
  n.target = target;
  nodes_[PlainKey(path)] = std::move(n);
  ++links_;
}

void FakeFileSystem::SwapForLink(const std::string& path, const std::string& target) {
  const std::string key = KeyOf(path);
  for (auto it = nodes_.lower_bound(key); it != nodes_.end() && it->first.compare(0, key.size(), key) == 0;) {
    const bool below = it->first.size() == key.size() || it->first[key.size()] == '\\';
    it = below ? nodes_.erase(it) : std::next(it);
  }
  AddLink(path, target);
}

void FakeFileSystem::AddHardLink(const std::string& path, const std::string& existing) {
  auto it = nodes_.find(KeyOf(existing));
  if (it == nodes_.end()) return;
  if (it->second.group == 0) it->second.group = ++groups_;
  Node n = it->second;
  n.path = path;
  EnsureParents(path);
  nodes_[KeyOf(path)] = std::move(n);
}

std::map<std::string, FakeFileSystem::Node>::iterator FakeFileSystem::Followed(
    std::map<std::string, Node>::iterator it) {
  if (it == nodes_.end() || it->second.target.empty()) return it;
  return nodes_.find(KeyOf(it->second.target));
}

void FakeFileSystem::ShareAttributes(const Node& n) {
  if (n.group == 0) return;
  for (auto& [key, other] : nodes_) {
    if (other.group == n.group) other.attributes = n.attributes;
  }
}

std::optional<uint32_t> FakeFileSystem::HardLinks(const std::string& path) {
  auto it = nodes_.find(KeyOf(path));
  if (it == nodes_.end()) return std::nullopt;
  if (it->second.group == 0) return 1u;
  uint32_t names = 0;
  for (const auto& [key, other] : nodes_) names += other.group == it->second.group;
  return names;
}

platform::Status FakeFileSystem::RemoveLink(const std::string& path) {
  Call("RemoveLink", path);
  mutated_.push_back(path);
  auto it = nodes_.find(KeyOf(path));
  if (it == nodes_.end()) return platform::Status::Refused(MissingError(path));
  if (it->second.target.empty()) return platform::Status::Refused(platform::kErrorAccessDenied);
  Change();
  nodes_.erase(it);
  --links_;
  return {};
}

void FakeFileSystem::SetContent(const std::string& path, std::string content) {
  auto it = nodes_.find(KeyOf(path));
  if (it == nodes_.end()) return;
  it->second.size = content.size();
  it->second.content = std::move(content);
}

void FakeFileSystem::SetDosTime(const std::string& path, int32_t dosTime) {
  auto it = nodes_.find(KeyOf(path));
  if (it != nodes_.end()) it->second.dosTime = dosTime;
}

void FakeFileSystem::Unlock(const std::string& path) {
  auto it = nodes_.find(KeyOf(path));
  if (it == nodes_.end()) return;
  it->second.locked = false;
  it->second.openForWriting = false;
}

void FakeFileSystem::Lock(const std::string& path) {
  auto it = nodes_.find(KeyOf(path));
  if (it != nodes_.end()) it->second.locked = true;
}

void FakeFileSystem::OpenForWriting(const std::string& path) {
  auto it = nodes_.find(KeyOf(path));
  if (it != nodes_.end()) it->second.openForWriting = true;
}

void FakeFileSystem::Fail(FsOp op, const std::string& path, uint32_t error) {
  faults_[{static_cast<int>(op), KeyOf(path)}] = error != 0 ? error : platform::kErrorGenFailure;
}
void FakeFileSystem::ClearFaults() { faults_.clear(); }

uint32_t FakeFileSystem::Failing(FsOp op, const std::string& path) const {
  auto it = faults_.find({static_cast<int>(op), KeyOf(path)});
  return it == faults_.end() ? 0 : it->second;
}

uint32_t FakeFileSystem::MissingError(const std::string& path) const {
  const size_t cut = LastSeparator(path);
  if (cut == std::string::npos) return platform::kErrorFileNotFound;
  const std::string parent = KeyOf(path.substr(0, cut));
  if (parent.empty() || IsDrive(parent)) return platform::kErrorFileNotFound;
  auto it = nodes_.find(parent);
  const bool folder = it != nodes_.end() && (it->second.attributes & platform::kAttrDirectory) != 0;
  return folder ? platform::kErrorFileNotFound : platform::kErrorPathNotFound;
}

void FakeFileSystem::Call(const char* op, const std::string& path) { calls_.push_back(std::string(op) + " " + path); }

bool FakeFileSystem::Exists(const std::string& path) const { return nodes_.count(KeyOf(path)) != 0; }

bool FakeFileSystem::IsFolder(const std::string& path) const {
  auto it = nodes_.find(KeyOf(path));
  return it != nodes_.end() && (it->second.attributes & platform::kAttrDirectory) != 0;
}

std::optional<uint32_t> FakeFileSystem::Attributes(const std::string& path) const {
  auto it = nodes_.find(KeyOf(path));
  if (it == nodes_.end()) return std::nullopt;
  return it->second.attributes;
}

std::vector<std::string> FakeFileSystem::AllPaths() const {
  std::vector<std::string> out;
  for (const auto& [key, node] : nodes_) out.push_back(node.path);
  return out;
}

bool FakeFileSystem::HasChildren(const std::string& key) const {
  const std::string prefix = key + "\\";
  auto it = nodes_.lower_bound(prefix);
  return it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

std::optional<platform::FileEntry> FakeFileSystem::FindEntry(const std::string& path, platform::Status& status) {
  Call(OpName(FsOp::Find), path);
  status = platform::Status::Refused(platform::kErrorFileNotFound);
  if (const uint32_t fault = Failing(FsOp::Find, path)) {
    status = platform::Status::Refused(fault);
    return std::nullopt;
  }
  // A search pattern ending in a separator finds nothing on Windows, and a
  // drive is no entry.
  const size_t nameAt = NameStart(path);
  if (nameAt == path.size() || IsDrive(KeyOf(path))) return std::nullopt;
  if (path.find_first_of("*?") != std::string::npos) return std::nullopt;  // exact paths only
  auto it = nodes_.find(KeyOf(path));
  if (it == nodes_.end()) {
    status = platform::Status::Refused(MissingError(path));
    return std::nullopt;
  }
  status = {};
  const Node& n = it->second;
  return platform::FileEntry{path.substr(nameAt), n.attributes, n.dosTime, n.size};
}

std::optional<uint32_t> FakeFileSystem::GetAttributes(const std::string& path, platform::Status& status) {
  Call(OpName(FsOp::GetAttributes), path);
  if (const uint32_t fault = Failing(FsOp::GetAttributes, path)) {
    status = platform::Status::Refused(fault);
    return std::nullopt;
  }
  status = {};
  if (const auto a = Attributes(path)) return a;
  if (IsDrive(KeyOf(path))) return platform::kAttrDirectory;
  status = platform::Status::Refused(MissingError(path));
  return std::nullopt;
}

std::string FakeFileSystem::FullPath(const std::string& path) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '/', '\\');
  std::string prefix;
  if (p.size() >= 2 && p[1] == ':') {
    prefix = p.substr(0, 2) + "\\";
    p = p.substr(2);
  } else if (p.rfind("\\\\", 0) == 0) {
    prefix = "\\\\";
    p = p.substr(2);
  } else if (p.rfind("\\", 0) == 0) {
    prefix = current_.substr(0, 2) + "\\";
  } else {
    p = current_ + "\\" + p;
    prefix = p.substr(0, 2) + "\\";
    p = p.substr(2);
  }
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i <= p.size(); ++i) {
    const unsigned char c = i < p.size() ? static_cast<unsigned char>(p[i]) : '\\';
    if (c != '\\') {
      part += static_cast<char>(c);
      // The second byte of a double-byte character is no separator.
      if (locale_ != nullptr && locale_->IsLeadByte(c) && i + 1 < p.size()) part += p[++i];
      continue;
    }
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  }
  std::string out = prefix;
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string next = out + (i > 0 ? "\\" : "") + parts[i];
    const auto longName = longOfShort_.find(Key(next));
    if (nodes_.count(Key(next)) == 0 && longName != longOfShort_.end() && Exists(longName->second)) {
      next = out + (i > 0 ? "\\" : "") + longName->second.substr(LastSeparator(longName->second) + 1);
    }
    out = std::move(next);
  }
  return out;
}

void FakeFileSystem::AddShortName(const std::string& path, const std::string& shortName) {
  const std::string full = FullPath(path);
  longOfShort_[Key(full.substr(0, LastSeparator(full) + 1) + shortName)] = full;
  shortOfLong_[Key(full)] = shortName;
}

std::string FakeFileSystem::ShortPath(const std::string& path) {
  const std::string full = FullPath(path);
  if (!Exists(full)) return path;
  std::string out, longSoFar;
  for (size_t at = 0; at <= full.size();) {
    size_t end = full.find('\\', at);
    if (end == std::string::npos) end = full.size();
    const std::string part = full.substr(at, end - at);
    longSoFar += (at == 0 ? "" : "\\") + part;
    const auto shortName = shortOfLong_.find(Key(longSoFar));
    out += (at == 0 ? "" : "\\") + (shortName != shortOfLong_.end() ? shortName->second : part);
    at = end + 1;
  }
  return out;
}

bool FakeFileSystem::Outside(const std::string& path, const platform::Place& within) {
  if (within.empty()) return false;
  const std::string full = FullPath(path);
  const std::string place = PlainKey(within.path);
  const std::string key = PlainKey(full);
  if (key.size() <= place.size() || key.compare(0, place.size(), place) != 0 || key[place.size()] != '\\') return true;
  std::string final = PlainKey(within.final);
  return KeyOf(full) != final + key.substr(place.size());
}

std::string FakeFileSystem::FinalFolderName(const std::string& folder) {
  auto it = Followed(nodes_.find(KeyOf(folder)));
  if (it != nodes_.end()) return it->first;
  const std::string key = KeyOf(folder);
  return IsDrive(key) ? key + "\\" : std::string();
}

platform::Status FakeFileSystem::SetAttributes(const std::string& path, uint32_t attributes, const platform::Place& within) {
  Call(OpName(FsOp::SetAttributes), path);
  mutated_.push_back(path);
  if (const uint32_t fault = Failing(FsOp::SetAttributes, path)) return platform::Status::Refused(fault);
  if (Exists(path) && Outside(path, within)) return platform::Status::Refused(platform::kErrorThroughLink);
  auto it = Followed(nodes_.find(KeyOf(path)));
  if (it == nodes_.end()) return platform::Status::Refused(MissingError(path));
  Change();
  const uint32_t dirBit = it->second.attributes & platform::kAttrDirectory;
  // SetFileAttributes ignores the directory bit; "normal" counts only alone,
  // and a file left with no attribute at all reports itself as normal.
  uint32_t kept = attributes & ~(platform::kAttrDirectory | platform::kAttrNormal);
  if (kept == 0 && dirBit == 0) kept = platform::kAttrNormal;
  it->second.attributes = kept | dirBit | (it->second.attributes & platform::kAttrReparsePoint);
  ShareAttributes(it->second);
  return {};
}

platform::Status FakeFileSystem::RemoveFile(const std::string& path, const platform::Place& within) {
  Call(OpName(FsOp::RemoveFile), path);
  mutated_.push_back(path);
  if (const uint32_t fault = Failing(FsOp::RemoveFile, path)) return platform::Status::Refused(fault);
  if (Exists(path) && Outside(path, within)) return platform::Status::Refused(platform::kErrorThroughLink);
  auto it = nodes_.find(KeyOf(path));
  if (it == nodes_.end()) return platform::Status::Refused(MissingError(path));
  const Node& n = it->second;
  if ((n.attributes & (platform::kAttrDirectory | platform::kAttrReadOnly | platform::kAttrReparsePoint)) != 0)
    return platform::Status::Refused(platform::kErrorAccessDenied);
  if (n.locked || n.openForWriting) return platform::Status::Refused(platform::kErrorSharingViolation);
  Change();
  nodes_.erase(it);
  return {};
}

platform::Status FakeFileSystem::RemoveFolder(const std::string& path, const platform::Place& within) {
  Call(OpName(FsOp::RemoveFolder), path);
  mutated_.push_back(path);
  if (const uint32_t fault = Failing(FsOp::RemoveFolder, path)) return platform::Status::Refused(fault);
  if (Exists(path) && Outside(path, within)) return platform::Status::Refused(platform::kErrorThroughLink);
  const std::string key = KeyOf(path);
  if (IsDrive(key)) return platform::Status::Refused(platform::kErrorAccessDenied);
  auto it = nodes_.find(key);
  if (it == nodes_.end()) return platform::Status::Refused(MissingError(path));
  const Node& n = it->second;
  if ((n.attributes & platform::kAttrDirectory) == 0) return platform::Status::Refused(platform::kErrorDirectory);
  if ((n.attributes & (platform::kAttrReadOnly | platform::kAttrReparsePoint)) != 0)
    return platform::Status::Refused(platform::kErrorAccessDenied);
  if (HasChildren(key)) return platform::Status::Refused(platform::kErrorDirNotEmpty);
  Change();
  nodes_.erase(it);
  return {};
}

std::optional<std::vector<platform::FileEntry>> FakeFileSystem::ListFolder(const std::string& folder) {
  Call(OpName(FsOp::List), folder);
  if (Failing(FsOp::List, folder)) return std::nullopt;
  auto self = Followed(nodes_.find(KeyOf(folder)));
  const std::string key = self == nodes_.end() ? std::string() : self->first;
  if (self == nodes_.end() || (self->second.attributes & platform::kAttrDirectory) == 0) return std::nullopt;
  std::vector<platform::FileEntry> out;
  out.push_back({".", platform::kAttrDirectory, self->second.dosTime, 0});
  out.push_back({"..", platform::kAttrDirectory, 0, 0});
  const std::string prefix = key + "\\";
  for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
       ++it) {
    if (LastSeparator(std::string_view(it->first).substr(prefix.size())) != std::string::npos) continue;  // deeper
    const Node& n = it->second;
    out.push_back({n.path.substr(NameStart(n.path)), n.attributes, n.dosTime, n.size});
  }
  return out;
}

std::optional<std::string> FakeFileSystem::ReadDenyWrite(const std::string& path) {
  Call(OpName(FsOp::Read), path);
  if (Failing(FsOp::Read, path)) return std::nullopt;
  auto it = Followed(nodes_.find(KeyOf(path)));
  if (it == nodes_.end()) return std::nullopt;
  const Node& n = it->second;
  if ((n.attributes & platform::kAttrDirectory) != 0 || n.locked || n.openForWriting) return std::nullopt;
  return n.content;
}

platform::Status FakeFileSystem::RemoveAtRestart(const std::string& path, const platform::Place& within) {
  Call(OpName(FsOp::Schedule), path);
  mutated_.push_back(path);
  if (const uint32_t fault = Failing(FsOp::Schedule, path)) return platform::Status::Refused(fault);
  if (Exists(path) && Outside(path, within)) return platform::Status::Refused(platform::kErrorThroughLink);
  Change();
  scheduled_.push_back(path);
  return {};
}

void FakeFileSystem::Restart() {
  for (auto& [key, node] : nodes_) node.locked = node.openForWriting = false;
  for (const std::string& path : scheduled_) {
    const std::string key = KeyOf(path);
    auto it = nodes_.find(key);
    if (it != nodes_.end() && !HasChildren(key)) nodes_.erase(it);
  }
  scheduled_.clear();
}

// Open for writing while it lives: others may read it, not deny-write.
class FakeOutputFile : public platform::IOutputFile {
 public:
  FakeOutputFile(FakeFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) { Hold(true); }
  ~FakeOutputFile() override { Hold(false); }
  platform::Status Append(const std::string& bytes) override {
    fs_.Call(OpName(FsOp::Write), path_);
    if (const uint32_t fault = fs_.Failing(FsOp::Write, path_)) return platform::Status::Refused(fault);
    auto it = fs_.nodes_.find(fs_.KeyOf(path_));
    if (it == fs_.nodes_.end()) return platform::Status::Refused(platform::kErrorInvalidHandle);
    it->second.content += bytes;
    it->second.size = it->second.content.size();
    return {};
  }
  platform::Status Flush() override { return {}; }

 private:
  void Hold(bool held) {
    auto it = fs_.nodes_.find(fs_.KeyOf(path_));
    if (it != fs_.nodes_.end()) it->second.openForWriting = held;
  }
  FakeFileSystem& fs_;
  std::string path_;
};

std::unique_ptr<platform::IOutputFile> FakeFileSystem::OpenOutputFile(const std::string& path,
                                                                       platform::Status& status) {
  Call(OpName(FsOp::Create), path);
  status = {};
  if (const uint32_t fault = Failing(FsOp::Create, path)) {
    status = platform::Status::Refused(fault);
  } else if (platform::NamesADevice(path)) {
    status = platform::Status::Refused(platform::kErrorNotADiskFile);
  } else if (auto it = nodes_.find(KeyOf(path)); it != nodes_.end()) {
    const Node& n = it->second;
    if (!n.target.empty() || HardLinks(path).value_or(1) > 1) {
      status = platform::Status::Refused(platform::kErrorThroughLink);  // a link, dangling or not; another name
    } else if ((n.attributes & (platform::kAttrDirectory | platform::kAttrReadOnly)) != 0) {
      status = platform::Status::Refused(platform::kErrorAccessDenied);
    } else if (n.locked || n.openForWriting) {
      status = platform::Status::Refused(platform::kErrorSharingViolation);
    }
  } else if (MissingError(path) == platform::kErrorPathNotFound || NameStart(path) == path.size()) {
    status = platform::Status::Refused(platform::kErrorPathNotFound);
  }
  if (!status) return nullptr;
  if (nodes_.find(KeyOf(path)) == nodes_.end()) AddFile(path, 0, 0, platform::kAttrArchive);
  return std::make_unique<FakeOutputFile>(*this, path);
}

std::string FakeFileSystem::Content(const std::string& path) const {
  auto it = nodes_.find(KeyOf(path));
  return it == nodes_.end() ? std::string() : it->second.content;
}

}  // namespace fakes
