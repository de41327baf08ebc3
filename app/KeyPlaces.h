#pragma once
// Where the registry keys of an application lie, and nothing else: the
// places an installer writes for its own program (below Software\<maker>,
// its own uninstall entry), and the shared places where a key is the
// application's only when it points at it (a class, an App Paths entry).
// A log that names a key outside them is refused when it is read; a walk
// up from an application's key stops before one; a class that does not
// point at the application stays.
//
// The places are data (KeyPlaces.cpp), each with its reason.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Services.h"

namespace app {

enum class KeyPlace : uint8_t {
  Outside,      // no application's: the system's, its users', or other programs'
  Application,  // the application's by where it lies
  Class,        // a class or an App Paths entry: the application's only when it points at it
};

struct KeyJudgement {
  KeyPlace place = KeyPlace::Outside;
  // Why the key is outside, or what the place it lies in is.
  const char* why = nullptr;
  // Class: the key of the class itself (`.abc`, `Maker.Doc`, `CLSID\{...}`,
  // `Applications\x.exe`, an App Paths entry) below the same root, as the
  // path spells it, and the key its classes lie in ("" for
  // HKEY_CLASSES_ROOT); `classes` is false for an App Paths entry.
  std::string classKey;
  std::string classRoot;
  bool classes = false;
};

// Where the key at `path` below the root key `root` (0x80000000 + index)
// lies. `ownEntry` is the application's uninstall key name (empty: none).
// `userBranch` is the current user's branch under HKEY_USERS; nullptr when
// it is not known, and then any user's branch is judged as though it were
// the current user's. Letters compare without regard to case; leading,
// trailing and doubled backslashes do not count.
KeyJudgement JudgeKeyPlace(uint32_t root, const std::string& path, const std::string& ownEntry,
                           const std::string* userBranch);

// Whether a class (or App Paths entry) points at the application: a string
// value of the class key or of a key below it names a file in the
// installation folder (in its long or its 8.3 form, quoted or not,
// arguments after it), or, for an extension, its ProgID (the default
// value) is a class that does. A class too large to read through points at
// nothing. The answer is kept for the run, so that a class judged before
// its keys go is judged the same afterwards.
class ApplicationClasses {
 public:
  ApplicationClasses(platform::IRegistry& registry, platform::ILocale& locale) : registry_(registry), locale_(locale) {}

  // The installation folder's forms (each ending with a backslash); none
  // (the folder is a drive, or none is given): nothing points at it.
  void SetFolder(std::vector<std::string> forms);
  bool PointsAtApplication(uint32_t root, const KeyJudgement& judged);

 private:
  bool Searched(uint32_t root, const std::string& classKey);
  bool NamesAFileInside(const std::string& value);

  platform::IRegistry& registry_;
  platform::ILocale& locale_;
  std::vector<std::string> forms_;
  std::map<std::string, bool> known_;  // by platform::KeyNode of the class key
};

// Why a logged key (root digit 3, levels above 0) of `keys` lies in a
// branch of HKEY_USERS that is not the current user's (the registry's
// CurrentUserBranch, asked only when such a key is logged), or nullopt.
std::optional<std::string> AnotherUsersKeyReason(const std::vector<std::string>& keys,
                                                 const std::vector<uint8_t>& levels, platform::IRegistry& registry);

// Whether `base` (ending with a backslash) names a folder below a drive or
// a network share, not the drive or share itself.
bool BelowARoot(const std::string& base);

}  // namespace app
