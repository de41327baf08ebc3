#include "tests/fakes/FakeRegistry.h"

#include <cstdio>
#include <cstring>

#include "platform/WindowsRules.h"

namespace fakes {

namespace {
// Key and value names ignore case, accented Windows-1252 letters included.
std::string Upper(const std::string& s) { return platform::UpperCp1252(s); }

std::string Dword(int32_t v) {
  std::string d(4, '\0');
  std::memcpy(d.data(), &v, 4);
  return d;
}
}  // namespace

bool FakeRegistry::IsRoot(uint32_t root) { return root >= 0x80000000u && root <= 0x80000006u; }


void FakeRegistry::AddKey(uint32_t root, const std::string& path) {
  std::string key = platform::KeyNode(root, path);
  while (key.size() > 8) {  // the root itself needs no node
    nodes_.try_emplace(key);
    key = key.substr(0, key.find_last_of('\\'));
  }
}

void FakeRegistry::SetRaw(uint32_t root, const std::string& path, const std::string& name, uint32_t type,
                          std::string data) {
  AddKey(root, path);
  nodes_[platform::KeyNode(root, path)].values[Upper(name)] = {name, Value{type, std::move(data)}};
}

void FakeRegistry::SetString(uint32_t root, const std::string& path, const std::string& name,
                             const std::string& value, uint32_t type) {
  AddKey(root, path);
  nodes_[platform::KeyNode(root, path)].values[Upper(name)] = {name, Value{type, value, true}};
}

void FakeRegistry::SetDword(uint32_t root, const std::string& path, const std::string& name, int32_t value) {
  SetRaw(root, path, name, platform::kRegDword, Dword(value));
}

void FakeRegistry::MakeReadOnly(uint32_t root, const std::string& path) {
  AddKey(root, path);
  nodes_[platform::KeyNode(root, path)].readOnly = true;
}

void FakeRegistry::Fail(RegOp op, uint32_t root, const std::string& path, uint32_t error) {
  faults_[{static_cast<int>(op), platform::KeyNode(root, path)}] = error != 0 ? error : platform::kErrorGenFailure;
}

void FakeRegistry::ClearFaults() { faults_.clear(); }

uint32_t FakeRegistry::Failing(RegOp op, const std::string& nodeKey) const {
  auto it = faults_.find({static_cast<int>(op), nodeKey});
  return it == faults_.end() ? 0 : it->second;
}

uint32_t FakeRegistry::RefusesDeletion(const std::string& nodeKey) const {
  if (const uint32_t fault = Failing(RegOp::Delete, nodeKey)) return fault;
  // A key left with subkeys is refused as one without the right to delete.
  auto it = nodes_.find(nodeKey);
  if (it->second.readOnly || HasChildren(nodeKey)) return platform::kErrorAccessDenied;
  return 0;
}

bool FakeRegistry::Exists(uint32_t root, const std::string& path) const {
  const std::string key = platform::KeyNode(root, path);
  return key.size() == 8 ? IsRoot(root) : nodes_.count(key) != 0;
}

std::optional<FakeRegistry::Value> FakeRegistry::GetValue(uint32_t root, const std::string& path,
                                                          const std::string& name) const {
  auto it = nodes_.find(platform::KeyNode(root, path));
  if (it == nodes_.end()) return std::nullopt;
  auto v = it->second.values.find(Upper(name));
  if (v == it->second.values.end()) return std::nullopt;
  return v->second.second;
}

std::optional<std::string> FakeRegistry::RawBytes(uint32_t root, const std::string& path,
                                                 const std::string& name) const {
  auto v = GetValue(root, path, name);
  if (!v) return std::nullopt;
  return v->terminated ? v->data + '\0' : v->data;
}

std::optional<int32_t> FakeRegistry::GetDword(uint32_t root, const std::string& path, const std::string& name) const {
  auto v = GetValue(root, path, name);
  if (!v || v->type != platform::kRegDword || v->data.size() != 4) return std::nullopt;
  int32_t out;
  std::memcpy(&out, v->data.data(), 4);
  return out;
}

std::vector<std::string> FakeRegistry::ValueNames(uint32_t root, const std::string& path) const {
  std::vector<std::string> out;
  auto it = nodes_.find(platform::KeyNode(root, path));
  if (it == nodes_.end()) return out;
  for (const auto& [upper, v] : it->second.values) out.push_back(v.first);
  return out;
}

std::vector<std::string> FakeRegistry::AllKeys() const {
  std::vector<std::string> out;
  for (const auto& [key, node] : nodes_) out.push_back(key);
  return out;
}

void FakeRegistry::SetEnvironment(const std::string& name, const std::string& value) {
  environment_[Upper(name)] = value;
}

std::optional<std::vector<std::string>> FakeRegistry::SubkeyNames(uint32_t root, const std::string& path) {
  if (!OpenKey(root, path)) return std::nullopt;
  const std::string prefix = platform::KeyNode(root, path) + "\\";
  std::vector<std::string> names;
  for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
       ++it) {
    const std::string rest = it->first.substr(prefix.size());
    if (rest.find('\\') == std::string::npos) names.push_back(rest);
  }
  return names;
}

bool FakeRegistry::HasChildren(const std::string& nodeKey) const {
  const std::string prefix = nodeKey + "\\";
  auto it = nodes_.lower_bound(prefix);
  return it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

class FakeRegistry::Key : public platform::IRegKey {
 public:
  Key(FakeRegistry& reg, std::string nodeKey, bool readOnly)
      : reg_(reg), key_(std::move(nodeKey)), readOnly_(readOnly) {
    ++reg_.openHandles_;
  }
  ~Key() override { --reg_.openHandles_; }

  bool ReadOnly() const override { return readOnly_; }

  bool HasSubkeys() override {
    if (reg_.Failing(RegOp::QueryInfo, key_)) return false;
    return reg_.HasChildren(key_);
  }

  std::optional<std::vector<std::string>> ValueNames() override {
    if (Deleted() || reg_.Failing(RegOp::QueryInfo, key_)) return std::nullopt;
    std::vector<std::string> names;
    if (Node* n = NodePtr()) {
      for (const auto& [upper, v] : n->values) names.push_back(v.first);
    }
    return names;
  }

  bool ValueExists(const std::string& name) override { return Find(name) != nullptr; }

  std::optional<std::string> ReadString(const std::string& name) override {
    // A key deleted while open answers every query with an error.
    if (Deleted()) return std::nullopt;
    const Value* v = Find(name);
    if (v == nullptr) return std::string();
    if (v->type != platform::kRegSz && v->type != platform::kRegExpandSz) return std::nullopt;
    return std::string(v->data.c_str());  // ends at the first zero byte
  }

  std::optional<std::string> ReadExpandedString(const std::string& name) override {
    auto text = ReadString(name);
    const Value* v = Find(name);
    if (!text || v == nullptr || v->type != platform::kRegExpandSz) return text;
    return platform::ExpandEnvironmentText(*text, [this](const std::string& variable) -> std::optional<std::string> {
      auto it = reg_.environment_.find(Upper(variable));
      if (it == reg_.environment_.end()) return std::nullopt;
      return it->second;
    });
  }

  std::optional<int32_t> ReadInt(const std::string& name) override {
    const Value* v = Find(name);
    if (v == nullptr || v->type != platform::kRegDword || v->data.size() != 4) return std::nullopt;
    int32_t out;
    std::memcpy(&out, v->data.data(), 4);
    return out;
  }

  bool WriteInt(const std::string& name, int32_t value) override {
    return Write(name, Value{platform::kRegDword, Dword(value)});
  }

  bool WriteString(const std::string& name, const std::string& value) override {
    return Write(name, Value{platform::kRegSz, value, true});
  }

  std::optional<std::string> ReadBinary(const std::string& name) override {
    const Value* v = Find(name);
    if (v == nullptr || v->type != platform::kRegBinary) return std::nullopt;
    return v->data;
  }

  bool WriteBinary(const std::string& name, const std::string& bytes) override {
    return Write(name, Value{platform::kRegBinary, bytes});
  }

  bool Flush() override {
    if (reg_.Failing(RegOp::Flush, key_)) return false;
    ++reg_.flushes_;
    return true;
  }

 private:
  bool Deleted() const { return key_.size() != 8 && reg_.nodes_.count(key_) == 0; }
  Node* NodePtr() {
    if (key_.size() == 8) return nullptr;  // values of root keys are not modelled
    auto it = reg_.nodes_.find(key_);
    return it == reg_.nodes_.end() ? nullptr : &it->second;
  }
  const Value* Find(const std::string& name) {
    Node* n = NodePtr();
    if (n == nullptr) return nullptr;
    auto it = n->values.find(Upper(name));
    return it == n->values.end() ? nullptr : &it->second.second;
  }
  bool Write(const std::string& name, Value v) {
    if (readOnly_ || reg_.Failing(RegOp::WriteValue, key_)) return false;
    Node* n = NodePtr();
    if (n == nullptr) return false;
    auto it = n->values.find(Upper(name));
    const std::string spelling = it == n->values.end() ? name : it->second.first;
    reg_.Change();
    n->values[Upper(name)] = {spelling, std::move(v)};
    return true;
  }

  FakeRegistry& reg_;
  std::string key_;
  bool readOnly_;
};

std::unique_ptr<platform::IRegKey> FakeRegistry::OpenKey(uint32_t root, const std::string& path,
                                                         platform::Status& status) {
  status = {};
  if (!IsRoot(root)) {
    status = platform::Status::Refused(platform::kErrorInvalidHandle);
    return nullptr;
  }
  const std::string key = platform::KeyNode(root, path);
  if (const uint32_t fault = Failing(RegOp::Open, key)) {
    status = platform::Status::Refused(fault);
    return nullptr;
  }
  if (key.size() == 8) return std::make_unique<Key>(*this, key, false);
  auto it = nodes_.find(key);
  if (it == nodes_.end()) {
    status = platform::Status::Refused(platform::kErrorFileNotFound);
    return nullptr;
  }
  return std::make_unique<Key>(*this, key, it->second.readOnly);
}

std::unique_ptr<platform::IRegKey> FakeRegistry::CreateKey(uint32_t root, const std::string& path,
                                                           platform::Status& status) {
  if (!IsRoot(root)) {
    status = platform::Status::Refused(platform::kErrorInvalidHandle);
    return nullptr;
  }
  const std::string key = platform::KeyNode(root, path);
  if (const uint32_t fault = Failing(RegOp::Open, key)) {
    status = platform::Status::Refused(fault);
    return nullptr;
  }
  status = {};
  if (key.size() == 8) return std::make_unique<Key>(*this, key, false);
  // The keys on the way, each created as RegCreateKeyEx would.
  for (size_t cut = key.find('\\', 9); ; cut = key.find('\\', cut + 1)) {
    const std::string part = key.substr(0, cut);
    if (nodes_.count(part) == 0) {
      Change();
      nodes_.try_emplace(part);
    }
    if (cut == std::string::npos) break;
  }
  return std::make_unique<Key>(*this, key, nodes_[key].readOnly);
}

platform::Status FakeRegistry::DeleteKeyTree(uint32_t root, const std::string& path) {
  const std::string key = platform::KeyNode(root, path);
  deleteCalls_.push_back(key);
  if (!IsRoot(root)) return platform::Status::Refused(platform::kErrorInvalidHandle);
  if (key.size() == 8) return platform::Status::Refused(platform::kErrorAccessDenied);
  auto it = nodes_.find(key);
  if (it == nodes_.end()) return platform::Status::Refused(platform::kErrorFileNotFound);
  // Children first, deepest first (reverse order puts "A\B\C" before "A\B").
  const std::string prefix = key + "\\";
  std::vector<std::string> children;
  for (auto c = nodes_.lower_bound(prefix); c != nodes_.end() && c->first.compare(0, prefix.size(), prefix) == 0; ++c)
    children.push_back(c->first);
  for (auto c = children.rbegin(); c != children.rend(); ++c) {
    if (RefusesDeletion(*c) == 0) {
      Change();
      nodes_.erase(*c);
    }
  }
  if (const uint32_t refused = RefusesDeletion(key)) return platform::Status::Refused(refused);
  Change();
  nodes_.erase(key);
  return {};
}

platform::Status FakeRegistry::DeleteKey(uint32_t root, const std::string& path) {
  const std::string key = platform::KeyNode(root, path);
  deleteCalls_.push_back(key);
  if (!IsRoot(root)) return platform::Status::Refused(platform::kErrorInvalidHandle);
  if (key.size() == 8) return platform::Status::Refused(platform::kErrorAccessDenied);
  auto it = nodes_.find(key);
  if (it == nodes_.end()) return platform::Status::Refused(platform::kErrorFileNotFound);
  if (const uint32_t refused = RefusesDeletion(key)) return platform::Status::Refused(refused);
  Change();
  nodes_.erase(it);
  return {};
}

}  // namespace fakes
