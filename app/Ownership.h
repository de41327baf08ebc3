#pragma once
// Whether what a log names is its application's own, where only the system
// can tell: its uninstall entry must be this log's (or a remnant without a
// command), and files that are no shortcuts may be named only below a
// shortcut folder that is not the system's. What the log's bytes alone
// tell is ParseLog's (app/LogFormat.h).
#include <optional>
#include <string>

#include "app/LogIdentity.h"
#include "app/Protection.h"
#include "app/RunData.h"
#include "platform/Services.h"

namespace app {

// Why the log `log` names, read into `data`, names something that is not
// its application's; nullopt when it does not. Its uninstall entry is its
// own when every command string of it (UninstallString,
// QuietUninstallString; a REG_EXPAND_SZ one expanded) names this log by
// the program's own rules (LogPathInCommand, IdentifyLog); a command value
// that is no string names none. An entry with no command string at all is
// its own only when its DisplayName, if it has one, is the application's
// name (letter case aside).
std::optional<std::string> NotTheApplicationsReason(const TRunData& data, const LogIdentity& log,
                                                    platform::IFileSystem& fs, platform::IRegistry& registry,
                                                    platform::ILocale& locale, const Protection& protection);

// Whether the log read into `data`, whose installation folder is `base`
// (ending with a backslash), names `fullPath`, in its long form, as one of
// its files, folders, shortcuts or its shortcut folder.
bool LogNames(const TRunData& data, const std::string& base, const std::string& fullPath, platform::ILocale& locale);

}  // namespace app
