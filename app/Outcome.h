#pragma once
// The removal engine's stream: the phase that begins, the object being worked
// on (the progress figures), and for every file, folder, shortcut and
// registry key the engine meets, one outcome saying what became of it. The
// failure list, the progress window and `undtool plan` are consumers of
// this one stream; anything else that needs to know what a run did (a
// report, a verdict) listens to it the same way.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/WindowsRules.h"

namespace app {

// The engine's steps, in their only order. Shortcut folders are tried only
// when the log lists shortcuts; the shortcut host folders have no caption of
// their own on the progress window.
enum class Phase : uint8_t { Files, Folders, HostFolders, Shortcuts, ShortcutFolders, ShortcutHostFolders, Registry };

// Installed files; folders (installation, host, shortcut and shortcut host
// folders); shortcuts; registry keys (the uninstall entry and the logged
// keys with their parents).
enum class ObjectKind : uint8_t { File, Folder, Shortcut, Key };

enum class Result : uint8_t {
  Removed,   // it is gone
  Changed,   // a file left in place: its time stamp differs from the logged one
  NotEmpty,  // left in place: a folder the system refused as not empty, or a key with subkeys
  Absent,    // not there, nothing done: also a file's path that names a folder, a hidden or
             // system folder, and a logged key whose entry names no root key
  Failed,    // there, and the system refused: `step` and `error` say where and why
  Scheduled, // there, and deleted at the next start of Windows: a file in use (`error` says
             // which refusal), or a folder refused as not empty that holds nothing else
  Protected, // a folder or key of the system's or of other programs (`why` says which):
             // never tried, kept by design, not listed
  Link,      // kept and never looked into: a link (the attributes carry the reparse bit), a
             // read-only file with other names (hard links), or what lies below a link
  NotTheApplications,  // a key of a class or App Paths entry that does not point at the
                       // application: kept, its walk ends, not listed
};

// The call that was refused.
using Step = platform::Step;

struct Outcome {
  Phase phase = Phase::Files;
  ObjectKind kind = ObjectKind::File;
  Result result = Result::Absent;
  // As the failure list names it: a file's or folder's full path (a folder
  // without its trailing backslash), a shortcut as logged, a key as its
  // root's name followed by the key path (the uninstall entry with two
  // backslashes after HKEY_LOCAL_MACHINE); a key entry that names no root
  // key, as logged.
  std::string path;
  // Keys: the root key's handle (0 for an entry that names no root key) and
  // the path below it, as handed to the registry.
  uint32_t root = 0;
  std::string keyPath;
  // Keys of the registry key list: the index of the entry whose walk met
  // the key; -1 for everything else.
  int entry = -1;
  Step step = Step::None;
  // The Win32 error code of a refusal: Failed, NotEmpty of a folder
  // (ERROR_DIR_NOT_EMPTY), Scheduled (the refusal that put the deletion
  // off), and Absent when found first and gone when its turn came (another
  // run took it); 0 when there was no refusal or the system gave no code.
  uint32_t error = 0;
  // Files, shortcuts and folders: the attributes of what the lookup found;
  // 0 when it found nothing.
  uint32_t attributes = 0;
  // Protected: why the object is not the application's.
  const char* why = nullptr;
  // Changed: the time stamp the log gives and the one on disk (packed local
  // DOS date and time).
  int32_t loggedTime = 0;
  int32_t diskTime = 0;
};

// "file", "folder", "shortcut", "key".
constexpr const char* KindName(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::File: return "file";
    case ObjectKind::Folder: return "folder";
    case ObjectKind::Shortcut: return "shortcut";
    case ObjectKind::Key: return "key";
  }
  return "?";
}

// A consumer of the stream. Every call comes on the engine's thread, in the
// engine's order, before the engine goes on.
class IRemovalListener {
 public:
  virtual ~IRemovalListener() = default;
  virtual void OnPhase(Phase) {}
  // The object being worked on, right after it changed; `bytesProcessed`
  // is the running total of the file records' sizes.
  virtual void OnProgress(int64_t /*bytesProcessed*/, const std::string& /*currentObject*/) {}
  virtual void OnOutcome(const Outcome&) {}
};

// Several consumers of one stream, each called in the order they were added.
class RemovalListeners : public IRemovalListener {
 public:
  RemovalListeners() = default;
  RemovalListeners(std::initializer_list<IRemovalListener*> listeners) : listeners_(listeners) {}
  void Add(IRemovalListener& listener) { listeners_.push_back(&listener); }

  void OnPhase(Phase phase) override {
    for (IRemovalListener* l : listeners_) l->OnPhase(phase);
  }
  void OnProgress(int64_t bytesProcessed, const std::string& currentObject) override {
    for (IRemovalListener* l : listeners_) l->OnProgress(bytesProcessed, currentObject);
  }
  void OnOutcome(const Outcome& outcome) override {
    for (IRemovalListener* l : listeners_) l->OnOutcome(outcome);
  }

 private:
  std::vector<IRemovalListener*> listeners_;
};

}  // namespace app
