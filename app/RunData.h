#pragma once
// The data of one run: the header read from the uninstall log, the
// process-wide lists, and the failure list. Lists own their records; the
// named clearing operations are the only way they are emptied.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace app {

struct TUninsData {
  uint8_t LeadByte = 0;
  std::string BaseDir;  // folder of the log, with its trailing backslash
  std::string AppName;
  uint8_t HostLevels = 0;
  uint8_t ShortcutLevels = 0;
  uint32_t TotalBytes = 0;  // unsigned, so that installations past 2 GiB count right
  std::string UninstallKey;  // empty when the log holds "nono"
  std::string ShortcutDir;   // empty, or ends with a backslash
};

struct TDirData {
  uint8_t Flag = 0;
};

struct TZData {
  std::string Name;
  uint32_t Size = 0;  // unsigned, as the installer writes it
  int32_t Date = 0;  // packed local DOS date (high 16 bits) and time
  uint8_t Flag = 0;
};

struct TFailData {
  int32_t Kind = 0;  // 0: the line names a file; 1: a folder
};

constexpr int32_t kFailFile = 0;
constexpr int32_t kFailFolder = 1;

// A string list whose lines may each own one record.
template <class T>
class TObjectStringList {
 public:
  struct Line {
    std::string text;
    std::unique_ptr<T> object;
  };

  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& Text(int i) const { return lines_.at(static_cast<size_t>(i)).text; }
  void SetText(int i, std::string text) { lines_.at(static_cast<size_t>(i)).text = std::move(text); }
  T* Object(int i) const { return lines_.at(static_cast<size_t>(i)).object.get(); }
  // Frees the line's record, if any, and leaves the line without one.
  void FreeObject(int i) { lines_.at(static_cast<size_t>(i)).object.reset(); }
  int Add(std::string text, std::unique_ptr<T> object = nullptr) {
    lines_.push_back(Line{std::move(text), std::move(object)});
    return Count() - 1;
  }
  // Frees every record, first to last, then empties the list.
  void Clear() {
    for (Line& l : lines_) l.object.reset();
    lines_.clear();
  }

 private:
  std::vector<Line> lines_;
};

using TTextList = std::vector<std::string>;
using TFolderList = TObjectStringList<TDirData>;
using TFailList = TObjectStringList<TFailData>;

// The file records of one folder entry. Slots may be empty.
class TZDataList {
 public:
  ~TZDataList();  // frees its records from the last to the first
  int Count() const { return static_cast<int>(items_.size()); }
  void Add(std::unique_ptr<TZData> record) { items_.push_back(std::move(record)); }
  TZData* At(int i) const {
    return (i >= 0 && i < Count()) ? items_[static_cast<size_t>(i)].get() : nullptr;
  }
  // Frees the record at `index` (if the slot holds one) and removes the slot.
  void Delete(int index);

 private:
  std::vector<std::unique_ptr<TZData>> items_;
};

using TFileLists = std::vector<std::unique_ptr<TZDataList>>;

// Accessors of a TZDataList. A null list counts as empty.
void ZDataDelete(TZDataList* list, int32_t index);
// Size (its 32 bits as a signed value) for which 0, Date for which 1; -1 for
// any other which, an index outside the list or an empty slot.
int32_t ZDataValue(const TZDataList* list, int32_t index, int32_t which);
// Name; empty for an index outside the list or an empty slot.
std::string ZDataName(const TZDataList* list, int32_t index);

// Process-wide run data. A list the log gave no entries stays absent (null);
// every user treats an absent list as empty.
struct TRunData {
  TUninsData UninsData;
  std::unique_ptr<TTextList> ShortcutList;
  std::unique_ptr<TFolderList> FolderList;
  std::unique_ptr<TFileLists> FileLists;
  std::unique_ptr<TFailList> FailList;
  // The registry key entries of the log and, same index, the number of key
  // levels to try for each; empty, never absent.
  TTextList RegKeyList;
  std::vector<uint8_t> RegKeyLevels;

  // Each does nothing when its list is absent; the list itself stays.
  void ClearFolderList();
  void ClearFileLists();
  void ClearFailList();
  // Teardown at program end: empties each list with its clearing operation,
  // then frees it; the key lists go last.
  void FreeLists();
};

}  // namespace app
