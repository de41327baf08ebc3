#include "app/RunData.h"

namespace app {

TZDataList::~TZDataList() {
  for (int i = Count() - 1; i >= 0; --i) Delete(i);
}

void TZDataList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  items_.erase(items_.begin() + index);
}

void ZDataDelete(TZDataList* list, int32_t index) {
  if (list != nullptr) list->Delete(index);
}

int32_t ZDataValue(const TZDataList* list, int32_t index, int32_t which) {
  const TZData* z = list != nullptr ? list->At(index) : nullptr;
  if (z == nullptr) return -1;
  if (which == 0) return static_cast<int32_t>(z->Size);
  if (which == 1) return z->Date;
  return -1;
}

std::string ZDataName(const TZDataList* list, int32_t index) {
  const TZData* z = list != nullptr ? list->At(index) : nullptr;
  return z != nullptr ? z->Name : std::string();
}

void TRunData::ClearFolderList() {
  if (FolderList) FolderList->Clear();
}

void TRunData::ClearFileLists() {
  if (!FileLists) return;
  for (auto& slot : *FileLists) slot.reset();
  FileLists->clear();
}

void TRunData::ClearFailList() {
  if (FailList) FailList->Clear();
}

void TRunData::FreeLists() {
  ShortcutList.reset();
  ClearFolderList();
  FolderList.reset();
  ClearFileLists();
  FileLists.reset();
  ClearFailList();
  FailList.reset();
  RegKeyList = TTextList();
  RegKeyLevels = std::vector<uint8_t>();
}

}  // namespace app
