#pragma once
// In-memory registry with the semantics the uninstaller relies on:
// case-insensitive key and value names, keys with subkeys, typed values,
// keys that open read-only or not at all, and any single operation made to
// fail, with the error codes Windows gives. Keys are addressed as root +
// path without a leading backslash.
#include <map>
#include <string>
#include <vector>

#include "platform/Services.h"
#include "tests/fakes/CrashPoint.h"

namespace fakes {

// QueryInfo also fails the enumeration of a key's values.
enum class RegOp { Open, Delete, WriteValue, Flush, QueryInfo };

inline constexpr char kCurrentUserSid[] = "S-1-5-21-1004336348-1177238915-682003330-1001";

class FakeRegistry : public platform::IRegistry {
 public:
  struct Value {
    uint32_t type = platform::kRegSz;
    std::string data;  // strings without their terminating zero; DWORDs as 4 bytes
    // A string stored with its terminating zero (SetString, WriteString);
    // SetRaw stores its bytes exactly as given.
    bool terminated = false;
  };

  // Set-up. Parent keys are created as needed.
  void AddKey(uint32_t root, const std::string& path);
  void SetString(uint32_t root, const std::string& path, const std::string& name, const std::string& value,
                 uint32_t type = platform::kRegSz);
  void SetDword(uint32_t root, const std::string& path, const std::string& name, int32_t value);
  void SetRaw(uint32_t root, const std::string& path, const std::string& name, uint32_t type, std::string data);
  // A variable of the process's environment, for REG_EXPAND_SZ values.
  void SetEnvironment(const std::string& name, const std::string& value);
  // Opens with full access are refused; read access is granted.
  void MakeReadOnly(uint32_t root, const std::string& path);
  // Make `op` on the key fail (every time, until cleared); a refused open or
  // deletion gives `error`.
  void Fail(RegOp op, uint32_t root, const std::string& path, uint32_t error = platform::kErrorAccessDenied);
  void ClearFaults();
  // The current user's branch under HKEY_USERS (kCurrentUserSid unless
  // set; "" as a system that cannot tell it).
  void SetCurrentUserBranch(std::string sid) { currentUser_ = std::move(sid); }
  // Every change (a key created or deleted, a value written) counts on
  // `crash` from now on.
  void CountChanges(CrashPoint* crash) { crash_ = crash; }

  // Inspection.
  bool Exists(uint32_t root, const std::string& path) const;
  std::optional<Value> GetValue(uint32_t root, const std::string& path, const std::string& name) const;
  std::optional<int32_t> GetDword(uint32_t root, const std::string& path, const std::string& name) const;
  // The value's bytes as the registry holds them: a string written with
  // SetString or WriteString ends in its zero byte.
  std::optional<std::string> RawBytes(uint32_t root, const std::string& path, const std::string& name) const;
  std::vector<std::string> ValueNames(uint32_t root, const std::string& path) const;
  std::vector<std::string> AllKeys() const;  // "ROOTHEX\PATH", sorted
  // Keys that a deletion was attempted for (as root:path), in order.
  const std::vector<std::string>& Deleted() const { return deleteCalls_; }
  int FlushCount() const { return flushes_; }
  // Open handles right now; a test checks that everything is closed.
  int OpenHandles() const { return openHandles_; }

  // platform::IRegistry
  using platform::IRegistry::OpenKey;
  std::unique_ptr<platform::IRegKey> OpenKey(uint32_t root, const std::string& path,
                                             platform::Status& status) override;
  // A key marked read-only is opened read-only here too; a fault on Open
  // refuses it.
  std::unique_ptr<platform::IRegKey> CreateKey(uint32_t root, const std::string& path,
                                               platform::Status& status) override;
  platform::Status DeleteKeyTree(uint32_t root, const std::string& path) override;
  platform::Status DeleteKey(uint32_t root, const std::string& path) override;
  // Names as stored (upper case), sorted.
  std::optional<std::vector<std::string>> SubkeyNames(uint32_t root, const std::string& path) override;
  std::string CurrentUserBranch() override { return currentUser_; }

 private:
  class Key;
  friend class Key;
  struct Node {
    std::map<std::string, std::pair<std::string, Value>> values;  // by upper name: (spelling, value)
    bool readOnly = false;
  };
  static bool IsRoot(uint32_t root);
  // The error of a fault set on `op` for the key; 0 when none is.
  uint32_t Failing(RegOp op, const std::string& nodeKey) const;
  // Why the key alone may not be deleted now; 0 when it may.
  uint32_t RefusesDeletion(const std::string& nodeKey) const;
  bool HasChildren(const std::string& nodeKey) const;

  std::map<std::string, Node> nodes_;  // by platform::KeyNode(); roots exist implicitly
  std::map<std::pair<int, std::string>, uint32_t> faults_;
  std::map<std::string, std::string> environment_;  // by upper-case name
  std::vector<std::string> deleteCalls_;
  void Change() {
    if (crash_ != nullptr) crash_->Change();
  }

  CrashPoint* crash_ = nullptr;
  std::string currentUser_ = kCurrentUserSid;
  int flushes_ = 0;
  int openHandles_ = 0;
};

}  // namespace fakes
