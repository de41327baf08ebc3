#pragma once
// What became of one object of a removal, in words: the words that
// `undtool plan` says beforehand and a run's report says afterwards, from
// this one place, so that a plan and a report can be laid side by side.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/Outcome.h"

namespace app {

// "removed", "kept" (changed, or not empty), "absent", "failed",
// "scheduled".
const char* ResultWord(Result result);

// Why the object went as it did; empty for a plain removal. `refusal` says
// in words why the refused call was refused: the dry run's reason in a
// plan; a run's refusals are told by their code (ErrorText). For a folder
// refused as not empty it names what stays (NotEmptyText) when that is
// known.
std::string OutcomeReason(const Outcome& outcome, const std::string& refusal);

// "error 32: in use by another program"; the codes a removal meets most
// are named, any other is given by its number alone.
std::string ErrorText(uint32_t error);

// "not empty: 1 entry stays (notes.txt)", "not empty: 4 entries stay (a,
// b, c, ...)": the first three names.
std::string NotEmptyText(const std::vector<std::string>& staying);

// "YYYY-MM-DD HH:MM:SS" of a packed local DOS time stamp; "0x" and eight
// hexadecimal digits when it is no valid date.
std::string TimeStampText(int32_t dosTime);

// "HKEY_LOCAL_MACHINE\Software\X" for root 0x80000002 and "\Software\X" (one
// leading backslash dropped); a root without a name shows as its number.
std::string KeyText(uint32_t root, const std::string& path);
// The object's path as a plan and a report name it: a key as KeyText of its
// root and path (an entry that names no root key as logged), anything else
// as the outcome names it.
std::string ObjectPath(const Outcome& outcome);

// One object as a plan and a report list it: the kind (KindName) in nine
// columns, the path, and "  -- " with the reason when there is one.
std::string ObjectLine(std::string_view kind, const std::string& path, const std::string& reason);

}  // namespace app
