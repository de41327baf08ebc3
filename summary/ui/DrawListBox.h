#pragma once
// TDrawBox: a list control on the system LISTBOX window. The window holds the
// lines; the control configures it, turns its notifications into events and
// adds four behaviours of its own:
//   - owner-drawn lines get no selection colours and no focus rectangle: the
//     item-drawing step alone decides how a line looks;
//   - TotalCtrlOverDraw: showing and hiding repaint nothing;
//   - OverKeyDown: the control's key-down handler sees a key before the
//     ordinary key-down path (the form's key preview included);
//   - MoveSense / OnMouseRun (TDrawBox): the line under the pointer becomes
//     the current line, and the control swallows every mouse move.
// Item values are pointer-sized object references; the value -1 is reserved.
// The lines' string list is declared in DrawListBoxStrings.h, included here.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/toolkit/Controls.h"
#include "platform/win32/Unique.h"
#include "summary/ui/DrawListBoxStrings.h"

namespace summary {

class TCustomDrawListBox;
class TDrawBox;

// The list error (IsSelected with a bad index).
class EListError : public platform::Error {
 public:
  using platform::Error::Error;
};

// A drawing surface bound to the device context of one draw-item
// notification, with the control's font and background brush selected.
class TItemCanvas {
 public:
  TItemCanvas() = default;
  TItemCanvas(const TItemCanvas&) = delete;
  TItemCanvas& operator=(const TItemCanvas&) = delete;
  ~TItemCanvas() { Unbind(); }

  // Null while not bound.
  HDC Handle() const { return dc_; }
  void Bind(HDC dc, HFONT font, HBRUSH brush, COLORREF brushColor);
  // Restores the font and brush that the DC held before.
  void Unbind();

  // Unbinds the canvas at the end of its scope, however the drawing ends.
  class BindingGuard {
   public:
    explicit BindingGuard(TItemCanvas& canvas) : canvas_(canvas) {}
    ~BindingGuard() { canvas_.Unbind(); }
    BindingGuard(const BindingGuard&) = delete;
    BindingGuard& operator=(const BindingGuard&) = delete;

   private:
    TItemCanvas& canvas_;
  };

  void FillRect(const RECT& rect);
  // The text on an opaque background of the brush's colour, in the
  // window-text colour, whatever colours the DC held.
  void WriteText(int x, int y, const std::string& text);

 private:
  HDC dc_ = nullptr;
  HBRUSH brush_ = nullptr;
  COLORREF color_ = 0;
  std::optional<platform::win32::SelectGuard> fontSelection_;
  std::optional<platform::win32::SelectGuard> brushSelection_;
};

enum TListBoxStyle : uint8_t { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };
enum TBorderStyle : uint8_t { bsNone, bsSingle };
enum TDragMode : uint8_t { dmManual, dmAutomatic };

// The platform's ODS_* flags (low 8 bits of the item state).
using TOwnerDrawState = uint8_t;

// Shift state of key and mouse events.
using TShiftState = uint8_t;
constexpr TShiftState ssShift = 0x01;
constexpr TShiftState ssAlt = 0x02;
constexpr TShiftState ssCtrl = 0x04;
constexpr TShiftState ssLeft = 0x08;
constexpr TShiftState ssRight = 0x10;
constexpr TShiftState ssMiddle = 0x20;
constexpr TShiftState ssDouble = 0x40;

// The shift state of a key message from its key data (Alt) and the
// keyboard (Shift, Ctrl), and of a mouse message from its key flags and the
// keyboard (Alt).
TShiftState KeyDataToShiftState(LPARAM keyData);
TShiftState MouseShiftState(WPARAM keys);

enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };

using TNotifyEvent = std::function<void(TCustomDrawListBox& Sender)>;
using TKeyEvent = std::function<void(TCustomDrawListBox& Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TCustomDrawListBox& Sender, char& Key)>;
using TMouseEvent =
    std::function<void(TCustomDrawListBox& Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TCustomDrawListBox& Sender, TShiftState Shift, int X, int Y)>;
using TDrawItemEvent =
    std::function<void(TCustomDrawListBox& Control, int Index, const RECT& Rect, TOwnerDrawState State)>;
using TMeasureItemEvent = std::function<void(TCustomDrawListBox& Control, int Index, int& Height)>;
using TOnMouseRun = std::function<void(TDrawBox& Sender)>;
enum TDragState : uint8_t { dsDragEnter, dsDragLeave, dsDragMove };
// Accept comes in true; the handler clears it to refuse the drop.
using TDragOverEvent = std::function<void(TCustomDrawListBox& Sender, toolkit::Control& Source, int X, int Y,
                                          TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TCustomDrawListBox& Sender, toolkit::Control& Source, int X, int Y)>;
// Target: the control dropped on, null when the drag was cancelled; X, Y in
// its client coordinates (the source's when cancelled).
using TEndDragEvent = std::function<void(TCustomDrawListBox& Sender, toolkit::Control* Target, int X, int Y)>;

// The form's key preview, as the ordinary key-down path of these controls
// calls it: it sees the key first and may set it to 0 to stop it.

class TCustomDrawListBox : public toolkit::Control {
 public:
  // Creates the window at once: 121 x 97 pixels at (left, top) of `parent`.
  explicit TCustomDrawListBox(toolkit::Window& parent, int left = 0, int top = 0);
  ~TCustomDrawListBox() override;

  // Plain stored values; changing them has no immediate effect.
  bool TotalCtrlOverDraw = true;
  bool OverKeyDown = true;

  TListBoxStrings& Items() { return items_; }
  // Replaces the lines by a copy of `source`'s.
  void SetItems(const TStrings& source) { items_.Assign(source); }
  TItemCanvas& ItemCanvas() { return canvas_; }

  // The window, created first when it does not exist (it may have been
  // destroyed with its parent).
  HWND HandleNeeded();
  bool HandleAllocated() const { return Handle() != nullptr; }
  // Destroys the window, keeping lines, TopRow and CurrentIndex, and
  // creates it again with the current properties.
  void RecreateWnd();

  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle value);
  int Columns() const { return columns_; }
  void SetColumns(int value);
  bool ExtendedSelect() const { return extendedSelect_; }
  void SetExtendedSelect(bool value);
  bool IntegralHeight() const { return integralHeight_; }
  void SetIntegralHeight(bool value);
  // lbStandard with a window: the height the window gives its first line.
  int ItemHeight();
  int StoredItemHeight() const { return itemHeight_; }
  // Values of 0 or less are ignored.
  void SetItemHeight(int value);
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool value);
  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  TListBoxStyle Style() const { return style_; }
  void SetStyle(TListBoxStyle value);
  int TabWidth() const { return tabWidth_; }
  // A negative value becomes 0.
  void SetTabWidth(int value);
  bool Ctl3D() const { return ctl3D_; }
  void SetCtl3D(bool value);
  bool ParentCtl3D = true;
  COLORREF Color() const { return color_; }
  void SetColor(COLORREF value);
  bool ParentColor = false;
  bool ParentFont = true;
  // Hints (see toolkit::Control::UpdateHint). With ParentShowHint on the
  // parent decides, and the toolkit's forms show no hints; setting
  // ShowHint turns ParentShowHint off.
  void SetHint(const std::string& text);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool value);
  bool ParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool value);
  bool TabStop = true;
  TDragMode DragMode = dmManual;
  // Shown while a drag is over a control that takes it; null: the arrow.
  HCURSOR DragCursor = nullptr;

  // List operations. EListError when IsSelected gets a bad index; the others
  // pass the window's replies on (SelectedCount is -1 in a single-selection
  // list, CurrentIndex -1 when no line is current).
  bool IsSelected(int index);
  int SelectedCount();
  int CurrentIndex();
  // Only a single-selection list takes it.
  void SetCurrentIndex(int value);
  int TopRow();
  void SetTopRow(int value);
  // -1 outside the client area; else the first line from TopRow on whose
  // rectangle holds the point, or (none) -1 when `existing`, the line count
  // otherwise.
  int ItemAtPoint(POINT pos, bool existing);

  void SetVisible(bool visible) override;
  void SetBounds(int left, int top, int width, int height) override;

  // Drawing of one line: OnDrawItem when assigned, else the background and
  // the text 2 pixels in. Only while ItemCanvas is bound.
  virtual void DoDrawItem(int index, const RECT& rect, TOwnerDrawState state);
  virtual void DoMeasureItem(int index, int& height);

  // Events.
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TDrawItemEvent OnDrawItem;
  TMeasureItemEvent OnMeasureItem;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnStartDrag;
  TEndDragEvent OnEndDrag;
  // As a place to drop on: a list takes a drop only when OnDragOver is
  // assigned and leaves Accept set.
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;

  // Dragging (the toolkit's drag and drop): begins on the left-button rules
  // of DragMode dmAutomatic, or when the program calls BeginDrag while the
  // left button is down; OnStartDrag is raised at once, and BeginDrag
  // returns when the drag is over, after OnEndDrag. Not `immediate`: the
  // drag proper waits until the pointer has moved out of the system's drag
  // rectangle. A drag that ends without a drop is cancelled: the list then
  // gets a plain press and release at the pointer, ending its own tracking
  // of the press (as a click there would).
  bool Dragging() const { return dragging_; }
  void BeginDrag(bool immediate);
  // Ends a drag in progress without a drop.
  void CancelDrag();

  bool DragOver(toolkit::Control& source, int x, int y, toolkit::DragState state) override;
  void DragDrop(toolkit::Control& source, int x, int y) override;

  // Item values of the lines, for TListBoxStrings.
  TObjectRef InternalGetItemData(int index);
  void InternalSetItemData(int index, TObjectRef data);
  void ResetContent();
  void DeleteString(int index);
  // Room for `lines` more lines holding `bytes` of text in all, made at
  // once instead of line by line as they are added.
  void InitStorage(int lines, size_t bytes);

  // The style bits the window is created with.
  DWORD WindowStyle() const;
  DWORD WindowExStyle() const;

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool OnReflected(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnHandleDestroyed() override;

  void CreateWnd();
  void DestroyWnd();
  // The drag was cancelled: the list ends its own tracking of the press.
  virtual void DragCanceled();
  // The 3-D look changed: the border depends on it.
  virtual void Ctl3DChanged();

 private:
  void SetColumnWidth();
  void CNDrawItem(DRAWITEMSTRUCT& draw);
  void CNMeasureItem(MEASUREITEMSTRUCT& measure);
  void CNCommand(WORD code);
  void PaintTo(HDC dc);
  // WM_KEYDOWN or WM_SYSKEYDOWN (`msg`), passed on as it came.
  LRESULT WMKeyDown(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OrdinaryKeyDown(UINT msg, WORD key, LPARAM lParam);
  LRESULT WMLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam);
  // The drag from `start` (client coordinates) to its end.
  void DragFrom(POINT start, bool immediate);
  void MakeBrush();

  TListBoxStrings items_{*this};
  TItemCanvas canvas_;
  TBorderStyle borderStyle_ = bsSingle;
  int columns_ = 0;
  int itemHeight_ = 16;
  TListBoxStyle style_ = lbStandard;
  bool integralHeight_ = false;
  bool multiSelect_ = false;
  bool sorted_ = false;
  bool extendedSelect_ = true;
  int tabWidth_ = 0;
  bool ctl3D_ = true;
  COLORREF color_;
  platform::win32::UniqueBrush brush_;
  std::unique_ptr<TStringList> SavedItems;
  int SavedTopIndex = 0;
  int SavedItemIndex = 0;
  RECT bounds_{};  // the window's place, kept for a window created again
  bool visible_ = true;  // kept across a re-creation, as is enabled_
  bool enabled_ = true;
  bool dragging_ = false;
  bool showHint_ = false;
  bool parentShowHint_ = true;
};

class TDrawBox : public TCustomDrawListBox {
 public:
  explicit TDrawBox(toolkit::Window& parent, int left = 0, int top = 0);

  TOnMouseRun OnMouseRun;
  POINT LastMousePos{0, 0};
  bool MoveSense = true;

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  // Every mouse move ends here; OnMouseMove is never raised.
  void WMMouseMove(LPARAM lParam);
};

}  // namespace summary
