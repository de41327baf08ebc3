#pragma once
// The removal engine: works through the six phases of an uninstallation
// (installed files, installation folders, host folders, shortcuts, shortcut
// folders, registry) and collects what resisted in the failure list.
//
// It is portable: it sees the file system, the registry and the locale
// through the platform interfaces and reports its progress to a small sink,
// so the window, and any tool that wants to replay a removal, can drive it.
#include <cstdint>
#include <string>
#include <vector>

#include "app/RunData.h"
#include "platform/Services.h"

namespace app {

// Header lines of the failure list, one per group, in their only order.
// "Arquivos que não puderam ser apagados:"
inline constexpr char kFailHeaderFiles[] = "Arquivos que n\343o puderam ser apagados:";
// "Pastas que não puderam ser apagadas:"
inline constexpr char kFailHeaderFolders[] = "Pastas que n\343o puderam ser apagadas:";
// "Atalhos que não puderam ser apagados:"
inline constexpr char kFailHeaderShortcuts[] = "Atalhos que n\343o puderam ser apagados:";
// "Pastas de atalhos que não puderam ser apagadas:"
inline constexpr char kFailHeaderShortcutFolders[] = "Pastas de atalhos que n\343o puderam ser apagadas:";
// "Registros que não puderam ser eliminados:"
inline constexpr char kFailHeaderRegistry[] = "Registros que n\343o puderam ser eliminados:";

// Phase captions of the progress window.
inline constexpr char kPhaseFiles[] = "Destruindo arquivos...";
inline constexpr char kPhaseFolders[] = "Destruindo pastas...";
inline constexpr char kPhaseHostFolders[] = "Destruindo pastas hospedeiras...";
inline constexpr char kPhaseShortcuts[] = "Destruindo atalhos...";
inline constexpr char kPhaseShortcutFolders[] = "Destruindo pastas de atalhos...";
inline constexpr char kPhaseRegistry[] = "Destruindo registros...";

// Where the application's uninstall entry lives, under HKEY_LOCAL_MACHINE.
inline constexpr char kUninstallKeyPath[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// The same key as the progress line and the failure line name it: the root's
// name is followed by two backslashes.
inline constexpr char kUninstallKeyShown[] = "HKEY_LOCAL_MACHINE\\\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Sets `name` to the root key's name for an index from 0 to 6; leaves it
// unchanged for any other index.
void RootKeyName(uint32_t rootIndex, std::string& name);

// The path up to and including its last backslash or colon, less one
// trailing backslash: D:\A\B gives D:\A, D:\A gives D:, \Software gives an
// empty path. Serves folder paths and registry key paths alike.
std::string ParentPath(const std::string& path);

// A registry key entry of the log, taken apart. The 2nd character is the
// root index when it is a decimal digit; the 1st and 3rd are not read; the
// key path is everything from the 4th character on.
struct RegKeyEntry {
  // 0x80000000 + index for an index from 0 to 6; 0 when the entry designates
  // no root key (index 7 to 9, a 2nd character that is no digit, or an entry
  // shorter than two characters). Such an entry finds, deletes and lists
  // nothing.
  uint32_t root = 0;
  // Root key name as progress lines and failure lines show it; empty when
  // the entry designates no root key, so that only the key path is shown.
  std::string rootName;
  std::string keyPath;
};
RegKeyEntry ParseRegKeyEntry(const std::string& entry);

// What the engine reports while it works.
class IRemovalSink {
 public:
  virtual ~IRemovalSink() = default;
  // The phase line of the progress window.
  virtual void SetPhase(const std::string& caption) = 0;
  // Called right after each change of the current object; the processed
  // byte count is the running total.
  virtual void ShowProgress(int64_t bytesProcessed, const std::string& currentObject) = 0;
  // Hourglass while the engine works; the default cursor afterwards.
  virtual void SetBusyCursor(bool busy) = 0;
};

class RemovalEngine {
 public:
  RemovalEngine(platform::IFileSystem& fs, platform::IRegistry& registry, platform::ILocale& locale,
                IRemovalSink& sink);

  // Steps 1 to 9 of an uninstallation: everything but showing the failure
  // summary. Reads the run data and the logged registry keys, never changes
  // them; creates data.FailList or clears it, then fills it with what
  // resisted, every header followed by at least one line of its group.
  // `bytesProcessed` is advanced by the size of every file record, removed or
  // not. A registry key entry without a level in `regKeyLevels` has 0 levels.
  //
  // Single failures become lines of the failure list. Anything the services
  // or the sink throw ends the run there and passes to the caller, with the
  // failure list as filled so far; the busy cursor is reset in every case.
  void Run(TRunData& data, const TStringList& regKeyList, const std::vector<uint8_t>& regKeyLevels,
           int64_t& bytesProcessed);

 private:
  void RemoveFiles(const TRunData& data);
  void RemoveFolders(const TRunData& data);
  void RemoveShortcuts(const TRunData& data);
  void RemoveShortcutFolders(const TRunData& data);
  void RemoveUninstallKey(const std::string& uninstallKey);
  void RemoveLoggedKey(const std::string& entry, uint8_t levels);

  void Show(const std::string& currentObject);
  void OpenGroup(const char* header);
  void CloseGroup();
  void RecordFile(const std::string& path);
  // The folder test, then the removal of an empty folder; a folder that is
  // there and stays becomes a folder line.
  void TryRemoveFolder(const std::string& path);
  // Tries `levels` folders from `start` upwards.
  void WalkFolders(const std::string& start, uint8_t levels, bool showProgress);
  // Drops the read-only bit and deletes the file; false when either step fails.
  bool DeleteFileAnyway(const std::string& path);

  platform::IFileSystem& fs_;
  platform::IRegistry& registry_;
  platform::ILocale& locale_;
  IRemovalSink& sink_;
  TFailList* failList_ = nullptr;
  int openHeader_ = -1;  // line of the open group's header
  int64_t* bytesProcessed_ = nullptr;
};

}  // namespace app
