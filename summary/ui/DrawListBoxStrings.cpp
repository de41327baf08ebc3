// The lines of a list control through the string-list interface: the
// generic operations, a list held in memory, and the adapter that sends every
// operation to the control's window.
#include <algorithm>
#include <vector>

#include "summary/ui/DrawListBox.h"

namespace summary {

namespace {

// Lines are read through a buffer of this many characters at least.
constexpr size_t kTextBuffer = 4096;

EStringListError IndexError(int index) {
  return EStringListError(platform::FormatError(kListIndexError, static_cast<long long>(index)));
}

}  // namespace

// ---------------------------------------------------------------------------
// TStrings

void TStrings::Put(int index, const std::string& text) {
  const TObjectRef object = GetObject(index);
  Delete(index);
  InsertObject(index, text, object);
}

int TStrings::Add(const std::string& text) {
  const int index = GetCount();
  Insert(index, text);
  return index;
}

int TStrings::AddObject(const std::string& text, TObjectRef object) {
  const int index = Add(text);
  PutObject(index, object);
  return index;
}

void TStrings::InsertObject(int index, const std::string& text, TObjectRef object) {
  const int at = Insert(index, text);
  PutObject(at, object);
}

void TStrings::Assign(const TStrings& source) {
  if (&source == this) return;
  const TUpdateGuard update(*this);
  Clear();
  const int n = source.GetCount();
  for (int i = 0; i < n; ++i) AddObject(source.Get(i), source.GetObject(i));
}

void TStrings::BeginUpdate() {
  if (updateCount_++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) SetUpdateState(false);
}

// ---------------------------------------------------------------------------
// TStringList

void TStringList::Check(int index, bool allowEnd) const {
  const int limit = allowEnd ? GetCount() + 1 : GetCount();
  if (index < 0 || index >= limit) throw IndexError(index);
}

std::string TStringList::Get(int index) const {
  Check(index);
  return lines_[static_cast<size_t>(index)].text;
}

TObjectRef TStringList::GetObject(int index) const {
  Check(index);
  return lines_[static_cast<size_t>(index)].object;
}

void TStringList::Put(int index, const std::string& text) {
  Check(index);
  lines_[static_cast<size_t>(index)].text = text;
}

void TStringList::PutObject(int index, TObjectRef object) {
  Check(index);
  lines_[static_cast<size_t>(index)].object = object;
}

int TStringList::Add(const std::string& text) {
  lines_.push_back(Line{text, nullptr});
  return GetCount() - 1;
}

void TStringList::Delete(int index) {
  Check(index);
  lines_.erase(lines_.begin() + index);
}

int TStringList::Insert(int index, const std::string& text) {
  Check(index, true);
  lines_.insert(lines_.begin() + index, Line{text, nullptr});
  return index;
}

// ---------------------------------------------------------------------------
// TListBoxStrings

std::string TListBoxStrings::Get(int index) const {
  HWND list = ListBox.HandleNeeded();
  const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) throw IndexError(index);
  // LB_GETTEXT knows no buffer size: never give it less than the line needs.
  std::vector<char> buffer(std::max(kTextBuffer, static_cast<size_t>(length) + 1), '\0');
  const LRESULT got = SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index),
                                   reinterpret_cast<LPARAM>(buffer.data()));
  if (got < 0) throw IndexError(index);
  return std::string(buffer.data(), static_cast<size_t>(got));
}

int TListBoxStrings::GetCount() const {
  return static_cast<int>(SendMessageA(ListBox.HandleNeeded(), LB_GETCOUNT, 0, 0));
}

TObjectRef TListBoxStrings::GetObject(int index) const {
  // The window answers LB_ERR (-1) for a bad index too, so the value -1
  // can't be told from one and is reserved.
  const TObjectRef object = ListBox.InternalGetItemData(index);
  if (reinterpret_cast<LONG_PTR>(object) == LB_ERR) throw IndexError(index);
  return object;
}

void TListBoxStrings::Put(int index, const std::string& text) {
  const int current = ListBox.CurrentIndex();
  TStrings::Put(index, text);
  ListBox.SetCurrentIndex(current);
}

void TListBoxStrings::PutObject(int index, TObjectRef object) { ListBox.InternalSetItemData(index, object); }

int TListBoxStrings::Add(const std::string& text) {
  const LRESULT index =
      SendMessageA(ListBox.HandleNeeded(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (index < 0) throw EOutOfResources(kInsertLineError);
  return static_cast<int>(index);
}

void TListBoxStrings::Clear() { ListBox.ResetContent(); }

void TListBoxStrings::Delete(int index) { ListBox.DeleteString(index); }

int TListBoxStrings::Insert(int index, const std::string& text) {
  const LRESULT at = SendMessageA(ListBox.HandleNeeded(), LB_INSERTSTRING, static_cast<WPARAM>(index),
                                  reinterpret_cast<LPARAM>(text.c_str()));
  if (at < 0) throw EOutOfResources(kInsertLineError);
  return static_cast<int>(at);
}

void TListBoxStrings::SetUpdateState(bool updating) {
  if (!ListBox.HandleAllocated()) return;
  SendMessageA(ListBox.Handle(), WM_SETREDRAW, updating ? FALSE : TRUE, 0);
  if (!updating) ListBox.Repaint();
}

}  // namespace summary
