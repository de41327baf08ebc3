#include "app/tools/DryRun.h"

#include "app/OutcomeWords.h"
#include "app/RemovalEngine.h"
#include "platform/WindowsRules.h"

namespace app {

namespace {

using platform::Status;

bool IsFolded(const std::set<std::string>& set, const std::string& key, size_t stopAt) {
  // The entry itself or anything above it: what lay below a removed folder
  // or a deleted key is gone with it.
  std::string k = key;
  while (k.size() > stopAt) {
    if (set.count(k) != 0) return true;
    const size_t cut = k.find_last_of('\\');
    if (cut == std::string::npos || cut < stopAt) break;
    k.resize(cut);
  }
  return false;
}

std::string Child(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

// SetFileAttributes ignores the folder bit; "normal" counts only alone, and
// a file left with no attribute at all reports itself as normal.
uint32_t AttributesAfterSet(uint32_t asked, uint32_t before) {
  const uint32_t folderBit = before & platform::kAttrDirectory;
  uint32_t kept = asked & ~(platform::kAttrDirectory | platform::kAttrNormal);
  if (kept == 0 && folderBit == 0) kept = platform::kAttrNormal;
  return kept | folderBit;
}

}  // namespace

// ---------------------------------------------------------------------------
// File system

DryRunFileSystem::DryRunFileSystem(platform::IFileSystem& real) : real_(real) {}

bool DryRunFileSystem::IsRemoved(const std::string& path) const {
  return IsFolded(removed_, platform::PathKey(path), 0);
}

std::string DryRunFileSystem::Why(const std::string& path) const {
  auto it = why_.find(platform::PathKey(path));
  return it == why_.end() ? std::string() : it->second;
}

std::optional<platform::FileEntry> DryRunFileSystem::Current(const std::string& path, Status& status) {
  if (IsRemoved(path)) {
    status = Status::Refused(platform::kErrorFileNotFound);
    return std::nullopt;
  }
  auto entry = real_.FindEntry(path, status);
  if (!entry) return std::nullopt;
  auto changed = attributes_.find(platform::PathKey(path));
  if (changed != attributes_.end()) entry->attributes = changed->second;
  return entry;
}

Status DryRunFileSystem::Refuse(const std::string& path, uint32_t error, std::string why) {
  why_[platform::PathKey(path)] = std::move(why);
  return Status::Refused(error);
}

std::optional<platform::FileEntry> DryRunFileSystem::FindEntry(const std::string& path, Status& status) {
  return Current(path, status);
}

std::optional<uint32_t> DryRunFileSystem::GetAttributes(const std::string& path, Status& status) {
  status = {};
  if (IsRemoved(path)) {
    status = Status::Refused(platform::kErrorFileNotFound);
    return std::nullopt;
  }
  auto changed = attributes_.find(platform::PathKey(path));
  if (changed != attributes_.end()) return changed->second;
  return real_.GetAttributes(path, status);
}

Status DryRunFileSystem::SetAttributes(const std::string& path, uint32_t attributes, const platform::Place& within) {
  if (!platform::ReachedWithin(real_, path, within)) return Refuse(path, platform::kErrorThroughLink, "behind a link");
  const auto before = GetAttributes(path);
  if (!before) return Refuse(path, platform::kErrorFileNotFound, "not present");
  attributes_[platform::PathKey(path)] = AttributesAfterSet(attributes, *before);
  return {};
}

Status DryRunFileSystem::RemoveFile(const std::string& path, const platform::Place& within) {
  if (!platform::ReachedWithin(real_, path, within)) return Refuse(path, platform::kErrorThroughLink, "behind a link");
  const auto entry = Current(path);
  if (!entry) return Refuse(path, platform::kErrorFileNotFound, "not present");
  if (entry->IsFolder()) return Refuse(path, platform::kErrorAccessDenied, "a folder, not a file");
  if ((entry->attributes & platform::kAttrReadOnly) != 0) return Refuse(path, platform::kErrorAccessDenied, "read-only");
  removed_.insert(platform::PathKey(path));
  removedOrder_.push_back(platform::PathKey(path));
  return {};
}

Status DryRunFileSystem::RemoveFolder(const std::string& path, const platform::Place& within) {
  if (!platform::ReachedWithin(real_, path, within)) return Refuse(path, platform::kErrorThroughLink, "behind a link");
  const auto entry = Current(path);
  if (!entry) return Refuse(path, platform::kErrorFileNotFound, "not present");
  if (!entry->IsFolder()) return Refuse(path, platform::kErrorDirectory, "a file, not a folder");
  if ((entry->attributes & platform::kAttrReadOnly) != 0) {
    return Refuse(path, platform::kErrorAccessDenied, "read-only folder");
  }
  const auto listed = real_.ListFolder(path);
  if (!listed) return Refuse(path, platform::kErrorAccessDenied, "its entries cannot be listed");
  std::vector<std::string> staying;
  for (const platform::FileEntry& child : *listed) {
    if (child.name == "." || child.name == "..") continue;
    if (!IsRemoved(Child(path, child.name))) staying.push_back(child.name);
  }
  if (!staying.empty()) return Refuse(path, platform::kErrorDirNotEmpty, NotEmptyText(staying));
  removed_.insert(platform::PathKey(path));
  removedOrder_.push_back(platform::PathKey(path));
  return {};
}

Status DryRunFileSystem::RemoveLink(const std::string& path) {
  return Refuse(path, platform::kErrorAccessDenied, "a dry run removes no link");
}

Status DryRunFileSystem::RemoveAtRestart(const std::string& path, const platform::Place&) {
  return Refuse(path, platform::kErrorAccessDenied, "a dry run schedules nothing");
}

std::unique_ptr<platform::IOutputFile> DryRunFileSystem::OpenOutputFile(const std::string& path, Status& status) {
  status = Refuse(path, platform::kErrorAccessDenied, "a dry run writes no file");
  return nullptr;
}

std::optional<std::vector<platform::FileEntry>> DryRunFileSystem::ListFolder(const std::string& folder) {
  if (IsRemoved(folder)) return std::nullopt;
  auto listed = real_.ListFolder(folder);
  if (!listed) return listed;
  std::vector<platform::FileEntry> out;
  out.reserve(listed->size());
  for (platform::FileEntry& child : *listed) {
    if (child.name != "." && child.name != "..") {
      const std::string path = Child(folder, child.name);
      if (IsRemoved(path)) continue;
      auto changed = attributes_.find(platform::PathKey(path));
      if (changed != attributes_.end()) child.attributes = changed->second;
    }
    out.push_back(std::move(child));
  }
  return out;
}

std::optional<std::string> DryRunFileSystem::ReadDenyWrite(const std::string& path) {
  if (IsRemoved(path)) return std::nullopt;
  return real_.ReadDenyWrite(path);
}

// ---------------------------------------------------------------------------
// Registry

// An open key as the overlay sees it: reads of written values come from the
// overlay, everything else from the real key, which is only ever read.
class DryRunRegistry::Key : public platform::IRegKey {
 public:
  Key(DryRunRegistry& owner, uint32_t root, std::string path, std::unique_ptr<platform::IRegKey> real)
      : owner_(owner), root_(root), path_(std::move(path)), real_(std::move(real)) {}

  bool ReadOnly() const override { return real_->ReadOnly(); }

  bool HasSubkeys() override { return !Gone() && owner_.HasRemainingSubkeys(root_, path_, *real_); }

  // The real key's values, then those only the overlay holds (folded).
  std::optional<std::vector<std::string>> ValueNames() override {
    if (Gone()) return std::nullopt;
    auto names = real_->ValueNames();
    auto key = owner_.written_.find(platform::KeyNode(root_, path_));
    if (!names || key == owner_.written_.end()) return names;
    std::set<std::string> real;
    for (const std::string& name : *names) real.insert(platform::PathKey(name + "\\"));
    for (const auto& [folded, value] : key->second.byName) {
      if (!real.count(folded)) names->push_back(folded.substr(0, folded.size() - 1));
    }
    return names;
  }

  bool ValueExists(const std::string& name) override {
    if (Gone()) return false;
    return Written(name) != nullptr || real_->ValueExists(name);
  }

  std::optional<std::string> ReadString(const std::string& name) override {
    if (Gone()) return std::nullopt;
    if (const auto* v = Written(name)) {
      if (v->first != platform::kRegSz) return std::nullopt;
      return std::string(v->second.c_str());
    }
    return real_->ReadString(name);
  }

  std::optional<std::string> ReadExpandedString(const std::string& name) override {
    if (Gone()) return std::nullopt;
    if (Written(name) != nullptr) return ReadString(name);
    return real_->ReadExpandedString(name);
  }

  std::optional<int32_t> ReadInt(const std::string& name) override {
    if (Gone()) return std::nullopt;
    if (const auto* v = Written(name)) {
      if (v->first != platform::kRegDword) return std::nullopt;
      return static_cast<int32_t>(std::stol(v->second));
    }
    return real_->ReadInt(name);
  }

  bool WriteInt(const std::string& name, int32_t value) override {
    return Write(name, platform::kRegDword, std::to_string(value));
  }

  bool WriteString(const std::string& name, const std::string& value) override {
    return Write(name, platform::kRegSz, value);
  }

  std::optional<std::string> ReadBinary(const std::string& name) override {
    if (Gone()) return std::nullopt;
    if (const auto* v = Written(name)) {
      if (v->first != platform::kRegBinary) return std::nullopt;
      return v->second;
    }
    return real_->ReadBinary(name);
  }

  bool WriteBinary(const std::string& name, const std::string& bytes) override {
    return Write(name, platform::kRegBinary, bytes);
  }

  bool Flush() override {
    if (!Gone()) return true;
    owner_.Refuse(root_, path_, platform::kErrorFileNotFound, "the key is deleted");
    return false;
  }

 private:
  // A key deleted while open answers with errors, as the system's does.
  bool Gone() const { return owner_.IsDeleted(root_, path_); }

  const std::pair<uint32_t, std::string>* Written(const std::string& name) const {
    auto key = owner_.written_.find(platform::KeyNode(root_, path_));
    if (key == owner_.written_.end()) return nullptr;
    auto v = key->second.byName.find(platform::PathKey(name + "\\"));
    return v == key->second.byName.end() ? nullptr : &v->second;
  }

  bool Write(const std::string& name, uint32_t type, std::string data) {
    if (real_->ReadOnly()) {
      owner_.Refuse(root_, path_, platform::kErrorAccessDenied, "the key is open for reading only");
      return false;
    }
    if (Gone()) {
      owner_.Refuse(root_, path_, platform::kErrorFileNotFound, "the key is deleted");
      return false;
    }
    // The trailing backslash keeps a value name ending in one intact.
    owner_.written_[platform::KeyNode(root_, path_)].byName[platform::PathKey(name + "\\")] = {type, std::move(data)};
    return true;
  }

  DryRunRegistry& owner_;
  uint32_t root_;
  std::string path_;
  std::unique_ptr<platform::IRegKey> real_;
};

DryRunRegistry::DryRunRegistry(platform::IRegistry& real, ISubkeyLister* lister) : real_(real), lister_(lister) {}


bool DryRunRegistry::IsDeleted(uint32_t root, const std::string& path) const {
  return IsFolded(deleted_, platform::KeyNode(root, path), 8);
}

std::string DryRunRegistry::Why(uint32_t root, const std::string& path) const {
  auto it = why_.find(platform::KeyNode(root, path));
  return it == why_.end() ? std::string() : it->second;
}

std::vector<std::string> DryRunRegistry::Taken(uint32_t root, const std::string& path) const {
  auto it = taken_.find(platform::KeyNode(root, path));
  return it == taken_.end() ? std::vector<std::string>() : it->second;
}

Status DryRunRegistry::Refuse(uint32_t root, const std::string& path, uint32_t error, std::string why) {
  why_[platform::KeyNode(root, path)] = std::move(why);
  return Status::Refused(error);
}

void DryRunRegistry::MarkDeleted(uint32_t root, const std::string& path) {
  deleted_.insert(platform::KeyNode(root, path));
  deletedOrder_.push_back(KeyText(root, path));
}

std::optional<bool> DryRunRegistry::SubkeysLeftByList(uint32_t root, const std::string& path) {
  if (lister_ == nullptr) return std::nullopt;
  const auto names = lister_->Subkeys(root, path);
  if (!names) return std::nullopt;
  for (const std::string& name : *names) {
    if (!IsDeleted(root, Child(path, name))) return true;
  }
  return false;
}

bool DryRunRegistry::HasRemainingSubkeys(uint32_t root, const std::string& path, platform::IRegKey& real) {
  // A count that cannot be read reads as none, for the engine and here alike.
  if (!real.HasSubkeys()) return false;
  return SubkeysLeftByList(root, path).value_or(true);
}

bool DryRunRegistry::KeepsSubkeys(uint32_t root, const std::string& path, platform::IRegKey& real) {
  // The deletion meets the subkeys themselves, whatever a count query says.
  if (const auto left = SubkeysLeftByList(root, path)) return *left;
  return real.HasSubkeys();
}

std::unique_ptr<platform::IRegKey> DryRunRegistry::OpenKey(uint32_t root, const std::string& path, Status& status) {
  if (IsDeleted(root, path)) {
    status = Refuse(root, path, platform::kErrorFileNotFound, "deleted earlier in the plan");
    return nullptr;
  }
  auto real = real_.OpenKey(root, path, status);
  if (!real) {
    Refuse(root, path, status.error(), "not present, or it cannot be opened");
    return nullptr;
  }
  return std::make_unique<Key>(*this, root, path, std::move(real));
}

std::string DryRunRegistry::CurrentUserBranch() { return real_.CurrentUserBranch(); }

std::optional<std::vector<std::string>> DryRunRegistry::SubkeyNames(uint32_t root, const std::string& path) {
  if (IsDeleted(root, path)) return std::nullopt;
  auto names = real_.SubkeyNames(root, path);
  if (!names) return names;
  std::vector<std::string> left;
  for (std::string& name : *names) {
    if (!IsDeleted(root, Child(path, name))) left.push_back(std::move(name));
  }
  return left;
}

Status DryRunRegistry::DeleteKey(uint32_t root, const std::string& path) {
  std::vector<std::string>& taken = taken_[platform::KeyNode(root, path)];
  taken.clear();
  if (platform::KeyNode(root, path).size() <= 8) {
    return Refuse(root, path, platform::kErrorAccessDenied, "a root key is never deleted");
  }
  if (IsDeleted(root, path)) return Refuse(root, path, platform::kErrorFileNotFound, "deleted earlier in the plan");
  Status opened;
  auto real = real_.OpenKey(root, path, opened);
  if (!real) return Refuse(root, path, opened.error(), "not present, or it cannot be opened");
  if (KeepsSubkeys(root, path, *real)) return Refuse(root, path, platform::kErrorAccessDenied, "it has subkeys");
  if (real->ReadOnly()) {
    return Refuse(root, path, platform::kErrorAccessDenied, "it opens for reading only: the deletion would be refused");
  }
  MarkDeleted(root, path);
  taken.push_back(KeyText(root, path));
  return {};
}

Status DryRunRegistry::DeleteTree(uint32_t root, const std::string& path, std::vector<std::string>& taken,
                                  std::string& why) {
  Status opened;
  auto real = real_.OpenKey(root, path, opened);
  if (!real) {
    why = "not present, or it cannot be opened";
    return opened;
  }
  // Subkeys that resist are left, and then the key's own deletion fails.
  if (lister_ != nullptr) {
    if (const auto names = lister_->Subkeys(root, path)) {
      for (const std::string& name : *names) {
        const std::string sub = Child(path, name);
        std::string ignored;
        if (!IsDeleted(root, sub)) DeleteTree(root, sub, taken, ignored);
      }
    }
    if (KeepsSubkeys(root, path, *real)) {
      why = "a subkey stays";
      return Status::Refused(platform::kErrorAccessDenied);
    }
  }
  if (real->ReadOnly()) {
    why = "it opens for reading only: the deletion would be refused";
    return Status::Refused(platform::kErrorAccessDenied);
  }
  MarkDeleted(root, path);
  taken.push_back(KeyText(root, path));
  return {};
}

std::unique_ptr<platform::IRegKey> DryRunRegistry::CreateKey(uint32_t root, const std::string& path, Status& status) {
  status = Refuse(root, path, platform::kErrorAccessDenied, "a dry run creates no key");
  return nullptr;
}

Status DryRunRegistry::DeleteKeyTree(uint32_t root, const std::string& path) {
  std::vector<std::string>& taken = taken_[platform::KeyNode(root, path)];
  taken.clear();
  if (platform::KeyNode(root, path).size() <= 8) {
    return Refuse(root, path, platform::kErrorAccessDenied, "a root key is never deleted");
  }
  if (IsDeleted(root, path)) return Refuse(root, path, platform::kErrorFileNotFound, "deleted earlier in the plan");
  std::string why;
  const Status status = DeleteTree(root, path, taken, why);
  if (!status) return Refuse(root, path, status.error(), why);
  return status;
}

}  // namespace app
