#include <algorithm>
#include <optional>
#include <cctype>
#include <new>
#include <stdexcept>

#include "platform/WindowsRules.h"
#include "platform/win32/Win32Services.h"

namespace platform::win32 {

namespace {
// The outcome of a call that says false and leaves its reason in
// GetLastError, read at once.
Status LastErrorUnless(bool done) { return Status::Of(done, done ? 0 : GetLastError()); }

// Where the name at the end of a path starts: after its last backslash,
// slash or colon, found by the system code page's double-byte rules (the
// second byte of a double-byte character may be 0x5C, the backslash).
size_t NameStart(const std::string& path) {
  size_t start = 0;
  const char* const begin = path.c_str();
  for (const char* p = begin; *p != '\0';) {
    const char* next = CharNextA(p);
    if (next == p + 1 && (*p == '\\' || *p == '/' || *p == ':')) start = static_cast<size_t>(next - begin);
    p = next;
  }
  return start;
}

// A drive ("C:") or its root ("C:\") is never an entry of its own: asked
// for "C:", the system answers for the drive's current folder.
bool IsDrive(const std::string& path) {
  return (path.size() == 2 || (path.size() == 3 && (path[2] == '\\' || path[2] == '/'))) && path[1] == ':' &&
         std::isalpha(static_cast<unsigned char>(path[0]));
}

class Win32OutputFile : public IOutputFile {
 public:
  explicit Win32OutputFile(UniqueFile file) : file_(std::move(file)) {}

  Status Append(const std::string& bytes) override {
    size_t done = 0;
    while (done < bytes.size()) {
      DWORD written = 0;
      const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
      if (!WriteFile(file_.get(), bytes.data() + done, want, &written, nullptr)) return Status::Refused(GetLastError());
      if (written == 0) return Status::Refused(ERROR_WRITE_FAULT);
      done += written;
    }
    return {};
  }
  Status Flush() override {
    const bool done = FlushFileBuffers(file_.get()) != 0;
    return LastErrorUnless(done);
  }

 private:
  UniqueFile file_;
};

// Text of the ANSI code page in UTF-16, as the ...A calls convert it.
std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Narrow(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

// From this length on a folder path no longer fits the classic limit (a
// folder leaves room for an 8.3 name within MAX_PATH).
constexpr size_t kLongFrom = MAX_PATH - 12;

// The path for the wide calls. The ...A calls refuse paths past MAX_PATH;
// the wide ones take any length in the \\?\ form, which has to be absolute
// and resolved already, since the system then leaves it as it stands.
std::wstring WidePath(const std::string& path) {
  std::wstring wide = Widen(path);
  if (wide.size() < kLongFrom || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  const DWORD need = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (need == 0) return wide;
  std::wstring full(need, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return wide;
  full.resize(got);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

FileEntry EntryOf(const WIN32_FIND_DATAW& fd) {
  FileEntry e;
  e.name = Narrow(fd.cFileName);
  e.attributes = fd.dwFileAttributes;
  e.dosTime = Win32FileSystem::DosTime(fd.ftLastWriteTime);
  e.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
  return e;
}
}  // namespace

int32_t Win32FileSystem::DosTime(const FILETIME& utc) {
  FILETIME local;
  WORD date = 0;
  WORD time = 0;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time)) return 0;
  return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}

std::optional<FileEntry> Win32FileSystem::FindEntry(const std::string& path, Status& status) {
  // An exact path only: a wildcard would let the search report some other
  // entry under the name asked for; and nothing is found through a trailing
  // separator, as with a search.
  const size_t nameAt = NameStart(path);
  if (nameAt == path.size() || IsDrive(path) || path.find_first_of("*?") != std::string::npos) {
    status = Status::Refused(ERROR_FILE_NOT_FOUND);
    return std::nullopt;
  }
  // For an exact path the attribute query answers what a find-first would,
  // at a fraction of the cost: no directory handle is opened and searched.
  // The removal asks this once per installed file.
  WIN32_FILE_ATTRIBUTE_DATA data;
  const bool found = GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data) != 0;
  status = LastErrorUnless(found);
  if (!found) return std::nullopt;
  FileEntry e;
  e.name = path.substr(nameAt);
  e.attributes = data.dwFileAttributes;
  e.dosTime = DosTime(data.ftLastWriteTime);
  e.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return e;
}

std::optional<uint32_t> Win32FileSystem::GetAttributes(const std::string& path, Status& status) {
  const DWORD a = GetFileAttributesW(WidePath(path).c_str());
  status = LastErrorUnless(a != INVALID_FILE_ATTRIBUTES);
  if (a == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return a;
}

namespace {
// The entry at `path` itself, a link not followed: the handle through
// which what was checked is what goes.
UniqueFile OpenEntry(const std::string& path, DWORD access, bool folder) {
  return UniqueFile(CreateFileW(WidePath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | (folder ? FILE_FLAG_BACKUP_SEMANTICS : 0), nullptr));
}

std::wstring WithoutLongPrefix(std::wstring path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
  if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// The name the system gives an open handle, without the \\?\ prefix; empty
// when it gives none.
std::wstring FinalName(HANDLE handle) {
  std::wstring name(MAX_PATH, L'\0');
  DWORD got = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
  if (got >= name.size()) {
    name.resize(got + 1);
    got = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
  }
  if (got == 0 || got >= name.size()) return {};
  name.resize(got);
  return WithoutLongPrefix(name);
}

// The attributes of the open entry. Asked by class: the whole-file query
// also fetches the volume's serial number, which Wine gets from its mount
// manager, another process, for every call.
std::optional<DWORD> AttributesOf(HANDLE entry) {
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(entry, FileBasicInfo, &basic, sizeof basic)) return std::nullopt;
  return basic.FileAttributes;
}

Status MarkDeleted(HANDLE entry) {
  FILE_DISPOSITION_INFO gone{TRUE};
  return LastErrorUnless(SetFileInformationByHandle(entry, FileDispositionInfo, &gone, sizeof gone) != 0);
}
}  // namespace

namespace {
std::wstring FinalFolder(const std::wstring& folder) {
  UniqueFile handle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  std::wstring final = handle ? FinalName(handle.get()) : std::wstring();
  while (final.size() > 3 && final.back() == L'\\') final.pop_back();
  return final;
}

std::wstring WithoutTrailingBackslash(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}
}  // namespace

std::string Win32FileSystem::FinalFolderName(const std::string& folder) {
  try {
    return Narrow(FinalFolder(WidePath(folder)).c_str());
  } catch (const std::exception&) {
    return {};
  }
}

std::wstring Win32FileSystem::CachedFinalFolder(const std::wstring& folder) {
  if (SamePath(folder, folderAsked_)) return folderFinal_;
  std::wstring final = FinalFolder(folder);
  if (!final.empty()) folderAsked_ = folder, folderFinal_ = final;
  return final;
}

// Whether the open `entry` is the one at `path` itself rather than what a
// link there points to. Windows opens a link itself (and its attributes say
// so); Wine opens what a link points to, shows a link to a file as a plain
// file and deletes the target through it: only the name the system gives
// the handle tells. It is compared with the parent folder's own final name
// and the entry's name, so that links above the installation do not count.
bool Win32FileSystem::ReachedDirectly(HANDLE entry, const std::string& path, const Place& within) {
  const std::wstring final = FinalName(entry);
  if (!within.empty()) {
    // Below a place: the place's name as the run began, then the entry's
    // path below it, name by name. The path as asked first; then in long
    // names, should it spell a folder on the way by its 8.3 name.
    if (final.empty()) return false;
    const auto reached = [&](const std::string& asked) {
      const std::optional<std::string> rest = PathBelow(asked, within);
      return rest && SamePath(final, WithoutTrailingBackslash(Widen(within.final)) + Widen(*rest));
    };
    return reached(path) || reached(FullPath(path));
  }
  if (final.empty()) return true;  // no name to compare: the attributes decide
  std::wstring asked = WithoutLongPrefix(WidePath(path));
  while (asked.size() > 3 && asked.back() == L'\\') asked.pop_back();
  const size_t slash = asked.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash < 2) return true;
  const std::wstring parent = CachedFinalFolder(asked.substr(0, slash == 2 ? 3 : slash));
  if (parent.empty()) return true;
  const std::wstring joined = parent.back() == L'\\' ? parent : parent + L'\\';
  if (SamePath(final, joined + asked.substr(slash + 1))) return true;
  // The name asked for may be the short (8.3) one.
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(WidePath(path).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return SamePath(final, joined + found.cFileName);
}

Status Win32FileSystem::SetAttributes(const std::string& path, uint32_t attributes, const Place& within) {
  // Through the entry itself: attributes set by name reach the target of a
  // link under Wine.
  const DWORD now = GetFileAttributesW(WidePath(path).c_str());
  if (now == INVALID_FILE_ATTRIBUTES) return Status::Refused(GetLastError());
  UniqueFile entry = OpenEntry(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, (now & FILE_ATTRIBUTE_DIRECTORY) != 0);
  if (!entry) return Status::Refused(GetLastError());
  if (!ReachedDirectly(entry.get(), path, within)) return Status::Refused(kErrorThroughLink);
  FILE_BASIC_INFO basic{};  // times of 0 stay as they are
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  return LastErrorUnless(SetFileInformationByHandle(entry.get(), FileBasicInfo, &basic, sizeof basic) != 0);
}

Status Win32FileSystem::RemoveFile(const std::string& path, const Place& within) {
  // Opened without following a link, checked and deleted through the same
  // handle: a link swapped in after the engine looked is refused, and a
  // file swapped in is the one that goes, never something behind it.
  UniqueFile entry = OpenEntry(path, DELETE | FILE_READ_ATTRIBUTES, false);
  if (!entry) return Status::Refused(GetLastError());
  const auto attributes = AttributesOf(entry.get());
  if (!attributes) return Status::Refused(GetLastError());
  if ((*attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0)
    return Status::Refused(ERROR_ACCESS_DENIED);
  if (!ReachedDirectly(entry.get(), path, within)) return Status::Refused(kErrorThroughLink);
  return MarkDeleted(entry.get());
}

Status Win32FileSystem::RemoveFolder(const std::string& path, const Place& within) {
  if (IsDrive(path)) return Status::Refused(ERROR_ACCESS_DENIED);
  {
    UniqueFile entry = OpenEntry(path, FILE_READ_ATTRIBUTES, true);
    if (!entry) return Status::Refused(GetLastError());
    const auto attributes = AttributesOf(entry.get());
    if (!attributes) return Status::Refused(GetLastError());
    if ((*attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return Status::Refused(ERROR_DIRECTORY);
    if ((*attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return Status::Refused(ERROR_ACCESS_DENIED);
    if (!ReachedDirectly(entry.get(), path, within)) return Status::Refused(kErrorThroughLink);
  }
  // By name: only the folder removal itself refuses a folder that is not
  // empty on every system. A link swapped in between the two calls is what
  // remains of the race: Windows removes such a link itself.
  const bool done = RemoveDirectoryW(WidePath(path).c_str()) != 0;
  return LastErrorUnless(done);
}

Status Win32FileSystem::RemoveLink(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Status::Refused(GetLastError());
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  UniqueFile entry = OpenEntry(path, DELETE | FILE_READ_ATTRIBUTES, folder);
  if (!entry) return Status::Refused(GetLastError());
  // Through the handle the link must still show as one; a system that opened
  // its target instead is refused, so that no target ever goes.
  const auto linkAttributes = AttributesOf(entry.get());
  if (!linkAttributes) return Status::Refused(GetLastError());
  if ((*linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return Status::Refused(ERROR_ACCESS_DENIED);
  return MarkDeleted(entry.get());
}

std::optional<uint32_t> Win32FileSystem::HardLinks(const std::string& path) {
  UniqueFile entry = OpenEntry(path, FILE_READ_ATTRIBUTES, false);
  FILE_STANDARD_INFO standard;
  if (!entry || !GetFileInformationByHandleEx(entry.get(), FileStandardInfo, &standard, sizeof standard))
    return std::nullopt;
  return standard.NumberOfLinks;
}

void Win32FileSystem::LeaveCurrentFolder() {
  wchar_t system[MAX_PATH];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  if (n > 0 && n < MAX_PATH) SetCurrentDirectoryW(system);
}

Status Win32FileSystem::RemoveAtRestart(const std::string& path, const Place& within) {
  // Looked at without asking for deletion, which the holder of the file
  // refuses: a link's target is never put off for the next start either.
  if (UniqueFile entry = OpenEntry(path, FILE_READ_ATTRIBUTES, false); entry && !ReachedDirectly(entry.get(), path, within))
    return Status::Refused(kErrorThroughLink);
  const bool done = MoveFileExW(WidePath(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
  return LastErrorUnless(done);
}

std::string Win32FileSystem::FullPath(const std::string& path) {
  try {
    const std::wstring wide = Widen(path);
    const DWORD need = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (need == 0) return path;
    std::wstring full(need, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
    if (got == 0 || got >= need) return path;
    full.resize(got);
    // The long form of what exists: the whole path, or else its folder (a
    // log already gone keeps the name it was asked by).
    const auto longForm = [](const std::wstring& p) -> std::optional<std::wstring> {
      const DWORD n = GetLongPathNameW(p.c_str(), nullptr, 0);
      if (n == 0) return std::nullopt;
      std::wstring out(n, L'\0');
      const DWORD m = GetLongPathNameW(p.c_str(), out.data(), n);
      if (m == 0 || m >= n) return std::nullopt;
      out.resize(m);
      return out;
    };
    if (auto whole = longForm(full)) return Narrow(whole->c_str());
    const size_t cut = full.find_last_of(L'\\');
    if (cut != std::wstring::npos && cut + 1 < full.size()) {
      if (auto folder = longForm(full.substr(0, cut + 1))) {
        std::wstring joined = *folder;
        if (!joined.empty() && joined.back() != L'\\') joined += L'\\';
        return Narrow((joined + full.substr(cut + 1)).c_str());
      }
    }
    return Narrow(full.c_str());
  } catch (const std::bad_alloc&) {
    return path;
  }
}

std::string Win32FileSystem::ShortPath(const std::string& path) {
  try {
    const std::wstring wide = Widen(path);
    DWORD need = GetShortPathNameW(wide.c_str(), nullptr, 0);
    for (int attempt = 0; attempt < 4 && need != 0; ++attempt) {
      std::wstring out(need, L'\0');
      const DWORD got = GetShortPathNameW(wide.c_str(), out.data(), need);
      if (got == 0) break;
      if (got < need) return Narrow(out.c_str());
      need = got;
    }
  } catch (const std::bad_alloc&) {
  }
  return path;
}

std::unique_ptr<IOutputFile> Win32FileSystem::OpenOutputFile(const std::string& path, Status& status) {
  // A device is never opened: opening one may already do something (a
  // serial port, a pipe's server, a raw disk that also says "disk"). The
  // system resolves a device's name in any folder to \\.\NUL and the like.
  // Resolved also so that the handle's final name can be compared below.
  const std::string full = FullPath(path);
  if (NamesADevice(path) || NamesADevice(full)) {
    status = Status::Refused(kErrorNotADiskFile);
    return nullptr;
  }
  const std::wstring wide = WidePath(full);
  // What is there is opened itself, a link not followed; a new file is
  // made only where no name is at all: creating a new one fails on a
  // link, dangling or not, on Windows and under Wine alike, where opening
  // it to create would make its target.
  UniqueFile file;
  bool created = false;
  for (int attempt = 0; attempt < 2 && !file; ++attempt) {
    file.reset(CreateFileW(wide.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file || GetLastError() != ERROR_FILE_NOT_FOUND) break;
    file.reset(CreateFileW(wide.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES | DELETE, FILE_SHARE_READ, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    created = file.valid();
    if (!file && GetLastError() != ERROR_FILE_EXISTS) break;
    // A name that is there yet opens as nothing is a link to nothing
    // under Wine; once more in case a file was made meanwhile.
    if (!file && attempt == 1) SetLastError(kErrorThroughLink);
  }
  if (!file) {
    status = Status::Refused(GetLastError());
    return nullptr;
  }
  // Checked on the open handle, so that what was checked is what is
  // written; a file this call made goes again when refused.
  const auto refuse = [&](uint32_t error) -> std::unique_ptr<IOutputFile> {
    if (created) MarkDeleted(file.get());
    status = Status::Refused(error);
    return nullptr;
  };
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return refuse(kErrorNotADiskFile);
  const auto attributes = AttributesOf(file.get());
  FILE_STANDARD_INFO standard;
  if (!attributes || !GetFileInformationByHandleEx(file.get(), FileStandardInfo, &standard, sizeof standard))
    return refuse(GetLastError());
  if ((*attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return refuse(kErrorThroughLink);
  if ((*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || standard.Directory) return refuse(ERROR_ACCESS_DENIED);
  // Another name of the file (a hard link) would be written as well; and
  // Wine opens a link's target, which only the handle's name tells.
  if (standard.NumberOfLinks > 1 || !ReachedDirectly(file.get(), full, {})) return refuse(kErrorThroughLink);
  if (!SetFilePointerEx(file.get(), LARGE_INTEGER{}, nullptr, FILE_END)) return refuse(GetLastError());
  status = {};
  return std::make_unique<Win32OutputFile>(std::move(file));
}

std::optional<std::vector<FileEntry>> Win32FileSystem::ListFolder(const std::string& folder) {
  try {
    std::vector<FileEntry> out;
    WIN32_FIND_DATAW fd;
    UniqueFind find(FindFirstFileW(WidePath(folder + "\\*.*").c_str(), &fd));
    if (!find) {
      if (GetLastError() == ERROR_FILE_NOT_FOUND) return out;
      return std::nullopt;
    }
    do {
      out.push_back(EntryOf(fd));
    } while (FindNextFileW(find.get(), &fd));
    if (GetLastError() != ERROR_NO_MORE_FILES) return std::nullopt;
    return out;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<std::string> Win32FileSystem::ReadDenyWrite(const std::string& path) {
  UniqueFile file(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || size.QuadPart > 0xFFFFFFFFLL) return std::nullopt;
  try {
    std::string content(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < content.size()) {
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 20));
      if (!ReadFile(file.get(), content.data() + done, want, &got, nullptr)) return std::nullopt;
      if (got == 0) break;  // shorter than announced: keep what is there
      done += got;
    }
    content.resize(done);
    return content;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  } catch (const std::length_error&) {
    return std::nullopt;
  }
}

}  // namespace platform::win32
