#include <new>
#include <vector>

#include "platform/win32/Win32Services.h"

#include <sddl.h>

namespace platform::win32 {

namespace {
// Root indexes 0..6: HKEY_CLASSES_ROOT .. HKEY_DYN_DATA.
bool IsRoot(uint32_t root) { return root >= 0x80000000u && root <= 0x80000006u; }

// The predefined handles are sign-extended 32-bit values.
HKEY RootHandle(uint32_t root) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root))); }

std::string SubPath(const std::string& path) {
  return !path.empty() && path.front() == '\\' ? path.substr(1) : path;
}

// The names of the subkeys of an open key; nullopt when the enumeration
// breaks off.
std::optional<std::vector<std::string>> NamesOfSubkeys(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[256];  // key names are at most 255 characters
    DWORD len = sizeof name;
    const LONG r = RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) return names;
    if (r != ERROR_SUCCESS) return std::nullopt;
    names.emplace_back(name, len);
  }
}

// Deletes `sub` of `parent` after its subkeys, depth first. Subkeys that
// resist are left; then the key's own deletion fails and says so.
LSTATUS DeleteTree(HKEY parent, const std::string& sub) {
  UniqueKey key;
  if (RegOpenKeyExA(parent, sub.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS) {
    // Names first: deleting while enumerating would shift the indexes.
    for (const std::string& name : NamesOfSubkeys(key.get()).value_or(std::vector<std::string>{})) {
      DeleteTree(key.get(), name);
    }
  }
  key.reset();
  return RegDeleteKeyA(parent, sub.c_str());
}
}  // namespace

std::unique_ptr<IRegKey> Win32Registry::OpenKey(uint32_t root, const std::string& path, Status& status) {
  if (!IsRoot(root)) {
    status = Status::Refused(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const std::string sub = SubPath(path);
  UniqueKey key;
  bool readOnly = false;
  if (RegOpenKeyExA(RootHandle(root), sub.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) {
    const LSTATUS r = RegOpenKeyExA(RootHandle(root), sub.c_str(), 0, KEY_READ, key.put());
    if (r != ERROR_SUCCESS) {
      status = Status::Refused(static_cast<uint32_t>(r));
      return nullptr;
    }
    readOnly = true;
  }
  try {
    auto opened = std::make_unique<Win32RegKey>(std::move(key), readOnly);
    status = Status();
    return opened;
  } catch (const std::bad_alloc&) {
    status = Status::Refused(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

std::unique_ptr<IRegKey> Win32Registry::CreateKey(uint32_t root, const std::string& path, Status& status) {
  if (!IsRoot(root)) {
    status = Status::Refused(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  UniqueKey key;
  const LSTATUS r = RegCreateKeyExA(RootHandle(root), SubPath(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
  status = Status::Of(r == ERROR_SUCCESS, static_cast<uint32_t>(r));
  if (r != ERROR_SUCCESS) return nullptr;
  try {
    return std::make_unique<Win32RegKey>(std::move(key), false);
  } catch (const std::bad_alloc&) {
    status = Status::Refused(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

Status Win32Registry::DeleteKeyTree(uint32_t root, const std::string& path) {
  const std::string sub = SubPath(path);
  if (!IsRoot(root)) return Status::Refused(ERROR_INVALID_HANDLE);
  if (sub.empty()) return Status::Refused(ERROR_ACCESS_DENIED);
  try {
    const LSTATUS r = DeleteTree(RootHandle(root), sub);
    return Status::Of(r == ERROR_SUCCESS, static_cast<uint32_t>(r));
  } catch (const std::bad_alloc&) {
    return Status::Refused(ERROR_NOT_ENOUGH_MEMORY);
  }
}

std::optional<std::vector<std::string>> Win32Registry::SubkeyNames(uint32_t root, const std::string& path) {
  if (!IsRoot(root)) return std::nullopt;
  UniqueKey key;
  if (RegOpenKeyExA(RootHandle(root), SubPath(path).c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  try {
    return NamesOfSubkeys(key.get());
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::string Win32Registry::CurrentUserBranch() {
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
  // TOKEN_USER holds a pointer into the same buffer: aligned storage.
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) return {};
  char* text = nullptr;
  if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return {};
  std::string branch;
  try {
    branch = text;
  } catch (const std::bad_alloc&) {
  }
  LocalFree(text);
  return branch;
}

Status Win32Registry::DeleteKey(uint32_t root, const std::string& path) {
  const std::string sub = SubPath(path);
  if (!IsRoot(root)) return Status::Refused(ERROR_INVALID_HANDLE);
  if (sub.empty()) return Status::Refused(ERROR_ACCESS_DENIED);
  // RegDeleteKey refuses a key that still has subkeys.
  const LSTATUS r = RegDeleteKeyA(RootHandle(root), sub.c_str());
  return Status::Of(r == ERROR_SUCCESS, static_cast<uint32_t>(r));
}

bool Win32RegKey::HasSubkeys() {
  DWORD subkeys = 0;
  return RegQueryInfoKeyA(key_.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys > 0;
}

std::optional<std::vector<std::string>> Win32RegKey::ValueNames() {
  try {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
      char name[16384];  // value names are at most 16383 characters
      DWORD len = sizeof name;
      const LONG r = RegEnumValueA(key_.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
      if (r == ERROR_NO_MORE_ITEMS) return names;
      if (r != ERROR_SUCCESS) return std::nullopt;
      names.emplace_back(name, len);
    }
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool Win32RegKey::ValueExists(const std::string& name) {
  return RegQueryValueExA(key_.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::optional<std::string> Win32RegKey::ReadString(const std::string& name) {
  DWORD type = 0;
  DWORD size = 0;
  LONG r = RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, nullptr, &size);
  try {
    // The value may change between the size query and the read: try again
    // a few times with the size the system reports.
    for (int attempt = 0; attempt < 4; ++attempt) {
      if (r == ERROR_FILE_NOT_FOUND) return std::string();
      if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
      std::string data(size + 1, '\0');  // one spare zero: stored texts need not end in one
      DWORD got = size;
      r = RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
      if (r == ERROR_MORE_DATA) {
        size = got;
        r = ERROR_SUCCESS;
        continue;
      }
      if (r == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) return std::string(data.c_str());
    }
  } catch (const std::bad_alloc&) {
  }
  return std::nullopt;
}

std::optional<std::string> Win32RegKey::ReadExpandedString(const std::string& name) {
  auto text = ReadString(name);
  DWORD type = 0;
  if (!text || RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS ||
      type != REG_EXPAND_SZ) {
    return text;
  }
  try {
    // The expansion may grow while it is asked for: a few tries with the
    // size the system reports.
    DWORD size = ExpandEnvironmentStringsA(text->c_str(), nullptr, 0);
    for (int attempt = 0; attempt < 4 && size != 0; ++attempt) {
      std::string out(size, '\0');
      const DWORD got = ExpandEnvironmentStringsA(text->c_str(), out.data(), size);
      if (got == 0) break;
      if (got <= size) return std::string(out.c_str());
      size = got;
    }
  } catch (const std::bad_alloc&) {
  }
  return std::nullopt;
}

std::optional<int32_t> Win32RegKey::ReadInt(const std::string& name) {
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return std::nullopt;
  return static_cast<int32_t>(value);
}

bool Win32RegKey::WriteInt(const std::string& name, int32_t value) {
  const DWORD data = static_cast<DWORD>(value);
  return RegSetValueExA(key_.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof data) == ERROR_SUCCESS;
}

bool Win32RegKey::WriteString(const std::string& name, const std::string& value) {
  // c_str() carries the terminating zero that the size counts.
  return RegSetValueExA(key_.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

std::optional<std::string> Win32RegKey::ReadBinary(const std::string& name) {
  try {
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD type = 0;
      DWORD size = 0;
      if (RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
          type != REG_BINARY)
        return std::nullopt;
      std::string data(size, '\0');
      DWORD got = size;
      const LONG r =
          RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
      if (r == ERROR_MORE_DATA) continue;  // it grew meanwhile
      if (r != ERROR_SUCCESS || type != REG_BINARY) return std::nullopt;
      data.resize(got);
      return data;
    }
  } catch (const std::bad_alloc&) {
  }
  return std::nullopt;
}

bool Win32RegKey::WriteBinary(const std::string& name, const std::string& bytes) {
  return RegSetValueExA(key_.get(), name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

bool Win32RegKey::Flush() { return RegFlushKey(key_.get()) == ERROR_SUCCESS; }

}  // namespace platform::win32
