#include "app/DryRun.h"

#include <cstdio>

#include "app/RemovalEngine.h"

namespace app {

namespace {

using Op = DryRunEvent::Op;

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

std::string NamesList(const std::vector<std::string>& names) {
  constexpr size_t kShown = 3;
  std::string out;
  for (size_t i = 0; i < names.size() && i < kShown; ++i) out += (i ? ", " : "") + names[i];
  if (names.size() > kShown) out += ", ...";
  return out;
}

}  // namespace

void DryRunJournal::Mark(const std::string& note) {
  DryRunEvent e;
  e.op = Op::Mark;
  e.path = note;
  e.ok = true;
  Add(std::move(e));
}

std::string FoldPath(const std::string& path) {
  std::string k = path;
  if (!k.empty() && k.back() == '\\') k.pop_back();
  for (char& c : k) {
    const unsigned char u = static_cast<unsigned char>(c);
    // Windows-1252 letters fold like ASCII ones (0xE0..0xFE but 0xF7), and
    // so do the small letters of the 0x80 row.
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) c = static_cast<char>(u - 0x20);
    if (u == 0x9A || u == 0x9C || u == 0x9E) c = static_cast<char>(u - 0x10);
    if (u == 0xFF) c = static_cast<char>(0x9F);
  }
  return k;
}

std::string KeyText(uint32_t root, const std::string& path) {
  std::string name;
  if (root >= 0x80000000u) RootKeyName(root - 0x80000000u, name);
  if (name.empty()) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", root);
    name = hex;
  }
  const std::string sub = !path.empty() && path.front() == '\\' ? path.substr(1) : path;
  return sub.empty() ? name : name + "\\" + sub;
}

// ---------------------------------------------------------------------------
// File system

DryRunFileSystem::DryRunFileSystem(platform::IFileSystem& real, DryRunJournal& journal)
    : real_(real), journal_(journal) {}

bool DryRunFileSystem::IsRemoved(const std::string& path) const {
  return IsFolded(removed_, FoldPath(path), 0);
}

std::optional<platform::FileEntry> DryRunFileSystem::Current(const std::string& path) {
  if (IsRemoved(path)) return std::nullopt;
  auto entry = real_.FindEntry(path);
  if (!entry) return std::nullopt;
  auto changed = attributes_.find(FoldPath(path));
  if (changed != attributes_.end()) entry->attributes = changed->second;
  return entry;
}

void DryRunFileSystem::Refuse(DryRunEvent& event, const std::string& why) {
  event.ok = false;
  event.why = why;
  journal_.Add(event);
}

std::optional<platform::FileEntry> DryRunFileSystem::FindEntry(const std::string& path) {
  DryRunEvent e;
  e.op = Op::Find;
  e.path = path;
  e.entry = Current(path);
  e.ok = e.entry.has_value();
  journal_.Add(e);
  return e.entry;
}

std::optional<uint32_t> DryRunFileSystem::GetAttributes(const std::string& path) {
  if (IsRemoved(path)) return std::nullopt;
  auto changed = attributes_.find(FoldPath(path));
  if (changed != attributes_.end()) return changed->second;
  return real_.GetAttributes(path);
}

bool DryRunFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  DryRunEvent e;
  e.op = Op::SetAttributes;
  e.path = path;
  e.attributes = attributes;
  const auto before = GetAttributes(path);
  if (!before) {
    Refuse(e, "not present");
    return false;
  }
  attributes_[FoldPath(path)] = AttributesAfterSet(attributes, *before);
  e.ok = true;
  journal_.Add(e);
  return true;
}

bool DryRunFileSystem::RemoveFile(const std::string& path) {
  DryRunEvent e;
  e.op = Op::RemoveFile;
  e.path = path;
  const auto entry = Current(path);
  if (!entry) {
    Refuse(e, "not present");
    return false;
  }
  if (entry->IsFolder()) {
    Refuse(e, "a folder, not a file");
    return false;
  }
  if ((entry->attributes & platform::kAttrReadOnly) != 0) {
    Refuse(e, "read-only");
    return false;
  }
  removed_.insert(FoldPath(path));
  removedOrder_.push_back(FoldPath(path));
  e.ok = true;
  journal_.Add(e);
  return true;
}

bool DryRunFileSystem::RemoveFolder(const std::string& path) {
  DryRunEvent e;
  e.op = Op::RemoveFolder;
  e.path = path;
  const auto entry = Current(path);
  if (!entry) {
    Refuse(e, "not present");
    return false;
  }
  if (!entry->IsFolder()) {
    Refuse(e, "a file, not a folder");
    return false;
  }
  if ((entry->attributes & platform::kAttrReadOnly) != 0) {
    Refuse(e, "read-only folder");
    return false;
  }
  const auto listed = real_.ListFolder(path);
  if (!listed) {
    Refuse(e, "its entries cannot be listed");
    return false;
  }
  std::vector<std::string> staying;
  for (const platform::FileEntry& child : *listed) {
    if (child.name == "." || child.name == "..") continue;
    if (!IsRemoved(Child(path, child.name))) staying.push_back(child.name);
  }
  if (!staying.empty()) {
    Refuse(e, "not empty: " + std::to_string(staying.size()) + (staying.size() == 1 ? " entry stays (" : " entries stay (") +
                  NamesList(staying) + ")");
    return false;
  }
  removed_.insert(FoldPath(path));
  removedOrder_.push_back(FoldPath(path));
  e.ok = true;
  journal_.Add(e);
  return true;
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
      auto changed = attributes_.find(FoldPath(path));
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

  bool HasSubkeys() override {
    DryRunEvent e;
    e.op = Op::HasSubkeys;
    e.root = root_;
    e.path = path_;
    e.ok = !Gone() && owner_.HasRemainingSubkeys(root_, path_, *real_);
    owner_.journal_.Add(e);
    return e.ok;
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

  bool Flush() override {
    DryRunEvent e;
    e.op = Op::Flush;
    e.root = root_;
    e.path = path_;
    e.ok = !Gone();
    if (!e.ok) e.why = "the key is deleted";
    owner_.journal_.Add(e);
    return e.ok;
  }

 private:
  // A key deleted while open answers with errors, as the system's does.
  bool Gone() const { return owner_.IsDeleted(root_, path_); }

  const std::pair<uint32_t, std::string>* Written(const std::string& name) const {
    auto key = owner_.written_.find(NodeKey(root_, path_));
    if (key == owner_.written_.end()) return nullptr;
    auto v = key->second.byName.find(FoldPath(name + "\\"));
    return v == key->second.byName.end() ? nullptr : &v->second;
  }

  bool Write(const std::string& name, uint32_t type, std::string data) {
    DryRunEvent e;
    e.op = Op::WriteValue;
    e.root = root_;
    e.path = path_;
    e.name = name;
    if (real_->ReadOnly()) {
      e.why = "the key is open for reading only";
    } else if (Gone()) {
      e.why = "the key is deleted";
    } else {
      // The trailing backslash keeps a value name ending in one intact.
      owner_.written_[NodeKey(root_, path_)].byName[FoldPath(name + "\\")] = {type, std::move(data)};
      e.ok = true;
    }
    owner_.journal_.Add(e);
    return e.ok;
  }

  DryRunRegistry& owner_;
  uint32_t root_;
  std::string path_;
  std::unique_ptr<platform::IRegKey> real_;
};

DryRunRegistry::DryRunRegistry(platform::IRegistry& real, DryRunJournal& journal, ISubkeyLister* lister)
    : real_(real), journal_(journal), lister_(lister) {}

std::string DryRunRegistry::NodeKey(uint32_t root, const std::string& path) {
  std::string p = path;
  if (!p.empty() && p.front() == '\\') p.erase(0, 1);
  while (!p.empty() && p.back() == '\\') p.pop_back();
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", root);
  return p.empty() ? std::string(hex) : std::string(hex) + "\\" + FoldPath(p);
}

bool DryRunRegistry::IsDeleted(uint32_t root, const std::string& path) const {
  return IsFolded(deleted_, NodeKey(root, path), 8);
}

void DryRunRegistry::MarkDeleted(uint32_t root, const std::string& path) {
  deleted_.insert(NodeKey(root, path));
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

std::unique_ptr<platform::IRegKey> DryRunRegistry::OpenKey(uint32_t root, const std::string& path) {
  DryRunEvent e;
  e.op = Op::OpenKey;
  e.root = root;
  e.path = path;
  std::unique_ptr<platform::IRegKey> out;
  if (IsDeleted(root, path)) {
    e.why = "deleted earlier in the plan";
  } else if (auto real = real_.OpenKey(root, path)) {
    e.ok = true;
    e.readOnly = real->ReadOnly();
    out = std::make_unique<Key>(*this, root, path, std::move(real));
  } else {
    e.why = "not present, or it cannot be opened";
  }
  journal_.Add(e);
  return out;
}

bool DryRunRegistry::DeleteKey(uint32_t root, const std::string& path) {
  DryRunEvent e;
  e.op = Op::DeleteKey;
  e.root = root;
  e.path = path;
  std::unique_ptr<platform::IRegKey> real;
  if (NodeKey(root, path).size() <= 8) {
    e.why = "a root key is never deleted";
  } else if (IsDeleted(root, path)) {
    e.why = "deleted earlier in the plan";
  } else if (!(real = real_.OpenKey(root, path))) {
    e.why = "not present, or it cannot be opened";
  } else if (KeepsSubkeys(root, path, *real)) {
    e.why = "it has subkeys";
  } else if (real->ReadOnly()) {
    e.why = "it opens for reading only: the deletion would be refused";
  } else {
    MarkDeleted(root, path);
    e.keys.push_back(KeyText(root, path));
    e.ok = true;
  }
  journal_.Add(e);
  return e.ok;
}

bool DryRunRegistry::DeleteTree(uint32_t root, const std::string& path, std::vector<std::string>& taken,
                                std::string& why) {
  auto real = real_.OpenKey(root, path);
  if (!real) {
    why = "not present, or it cannot be opened";
    return false;
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
      return false;
    }
  }
  if (real->ReadOnly()) {
    why = "it opens for reading only: the deletion would be refused";
    return false;
  }
  MarkDeleted(root, path);
  taken.push_back(KeyText(root, path));
  return true;
}

bool DryRunRegistry::DeleteKeyTree(uint32_t root, const std::string& path) {
  DryRunEvent e;
  e.op = Op::DeleteKeyTree;
  e.root = root;
  e.path = path;
  if (NodeKey(root, path).size() <= 8) {
    e.why = "a root key is never deleted";
  } else if (IsDeleted(root, path)) {
    e.why = "deleted earlier in the plan";
  } else {
    e.ok = DeleteTree(root, path, e.keys, e.why);
  }
  journal_.Add(e);
  return e.ok;
}

}  // namespace app
