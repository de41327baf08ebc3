#pragma once
// The lines of TDrawBox as a string list: TStrings, the abstract list of
// lines with one object reference each, TStringList, one held in memory, and
// TListBoxStrings, the adapter whose every operation goes to the list
// control's window. Part of DrawListBox.h, which includes it.
#include <string>
#include <vector>

#include "platform/Error.h"

namespace summary {

class TCustomDrawListBox;

// The string-list error (bad line index, reserved item value).
class EStringListError : public platform::Error {
 public:
  using platform::Error::Error;
};
// The out-of-resources error (the window refused a new line).
class EOutOfResources : public platform::Error {
 public:
  using platform::Error::Error;
};

constexpr char kListIndexError[] = "List index out of bounds (%d)";
constexpr char kInsertLineError[] = "Unable to insert a line";

// An object reference carried by a line (null when none).
using TObjectRef = void*;

// Abstract string list: lines with one object reference each. Derived
// classes keep the lines; the generic operations here work through them.
class TStrings {
 public:
  virtual ~TStrings() = default;

  virtual std::string Get(int index) const = 0;
  virtual int GetCount() const = 0;
  virtual TObjectRef GetObject(int index) const = 0;
  // Generic rule: keep the object, delete the line, insert the new text
  // with that object at the same place.
  virtual void Put(int index, const std::string& text);
  virtual void PutObject(int index, TObjectRef object) = 0;
  virtual int Add(const std::string& text);
  virtual void Clear() = 0;
  virtual void Delete(int index) = 0;
  // Returns the index the line got.
  virtual int Insert(int index, const std::string& text) = 0;

  int Count() const { return GetCount(); }
  std::string operator[](int index) const { return Get(index); }
  int AddObject(const std::string& text, TObjectRef object);
  void InsertObject(int index, const std::string& text, TObjectRef object);
  // Replaces every line by a copy of the lines and objects of `source`.
  void Assign(const TStrings& source);
  // Nested calls count; only the outermost pair changes the update state.
  void BeginUpdate();
  void EndUpdate();

 protected:
  virtual void SetUpdateState(bool /*updating*/) {}

 private:
  int updateCount_ = 0;
};

// A string list held in memory.
class TStringList : public TStrings {
 public:
  std::string Get(int index) const override;
  int GetCount() const override { return static_cast<int>(lines_.size()); }
  TObjectRef GetObject(int index) const override;
  void Put(int index, const std::string& text) override;
  void PutObject(int index, TObjectRef object) override;
  int Add(const std::string& text) override;
  void Clear() override { lines_.clear(); }
  void Delete(int index) override;
  int Insert(int index, const std::string& text) override;

 private:
  void Check(int index, bool allowEnd = false) const;
  struct Line {
    std::string text;
    TObjectRef object = nullptr;
  };
  std::vector<Line> lines_;
};

// The lines of a list control: every operation goes to the control's window
// (created first if need be). Keeps no lines of its own.
class TListBoxStrings : public TStrings {
 public:
  explicit TListBoxStrings(TCustomDrawListBox& listBox) : ListBox(listBox) {}

  // EStringListError for a bad index. Lines are read whole, also past the
  // usual 4,095 characters.
  std::string Get(int index) const override;
  int GetCount() const override;
  // EStringListError when the line's item value is -1 (also a bad index).
  TObjectRef GetObject(int index) const override;
  // Keeps the list's current line.
  void Put(int index, const std::string& text) override;
  void PutObject(int index, TObjectRef object) override;
  // EOutOfResources when the window refuses the line; sorted lists put it
  // at its sorted place.
  int Add(const std::string& text) override;
  void Clear() override;
  void Delete(int index) override;
  int Insert(int index, const std::string& text) override;

 protected:
  // While updating the window does not redraw; at the end it is refreshed.
  void SetUpdateState(bool updating) override;

 private:
  TCustomDrawListBox& ListBox;
};

// Keeps a string list in its update state for the life of the guard: the
// outermost guard ends the update, also when an error leaves the scope.
class TUpdateGuard {
 public:
  explicit TUpdateGuard(TStrings& strings) : strings_(strings) { strings_.BeginUpdate(); }
  ~TUpdateGuard() { strings_.EndUpdate(); }
  TUpdateGuard(const TUpdateGuard&) = delete;
  TUpdateGuard& operator=(const TUpdateGuard&) = delete;

 private:
  TStrings& strings_;
};

}  // namespace summary
