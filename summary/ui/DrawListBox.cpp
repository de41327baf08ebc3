// TCustomDrawListBox's window, properties, list operations and messages,
// and TDrawBox. The string list, the drawing of the lines, dragging and the
// hint have files of their own (DrawListBoxStrings, DrawListBoxPaint,
// DrawListBoxDrag, DrawListBoxHints).
#include "summary/ui/DrawListBox.h"

#include <windowsx.h>

#include "platform/toolkit/Form.h"

namespace summary {

namespace {

// Every Windows since 95 draws controls in the 3-D look; a single border is
// then a sunken client edge.
constexpr bool kPlatformHas3D = true;

constexpr int kDefaultWidth = 121;
constexpr int kDefaultHeight = 97;

}  // namespace

TShiftState KeyDataToShiftState(LPARAM keyData) {
  TShiftState shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
  if (keyData & (static_cast<LPARAM>(KF_ALTDOWN) << 16)) shift |= ssAlt;
  return shift;
}

TShiftState MouseShiftState(WPARAM keys) {
  TShiftState shift = 0;
  if (keys & MK_SHIFT) shift |= ssShift;
  if (keys & MK_CONTROL) shift |= ssCtrl;
  if (keys & MK_LBUTTON) shift |= ssLeft;
  if (keys & MK_RBUTTON) shift |= ssRight;
  if (keys & MK_MBUTTON) shift |= ssMiddle;
  if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
  return shift;
}

// ---------------------------------------------------------------------------
// TCustomDrawListBox

TCustomDrawListBox::TCustomDrawListBox(toolkit::Window& parent, int left, int top)
    : Control(parent), color_(GetSysColor(COLOR_WINDOW)) {
  MakeBrush();
  bounds_ = RECT{left, top, left + kDefaultWidth, top + kDefaultHeight};
  CreateWnd();
}

TCustomDrawListBox::~TCustomDrawListBox() {
  // While this object's handlers (and brush) still exist.
  DestroyHandle();
}

void TCustomDrawListBox::MakeBrush() { brush_.reset(CreateSolidBrush(color_)); }

DWORD TCustomDrawListBox::WindowStyle() const {
  DWORD style = WS_CHILD | WS_HSCROLL | WS_VSCROLL | LBS_HASSTRINGS | LBS_NOTIFY;
  if (visible_) style |= WS_VISIBLE;
  if (!enabled_) style |= WS_DISABLED;
  if (TabStop) style |= WS_TABSTOP;
  if (style_ == lbOwnerDrawFixed) style |= LBS_OWNERDRAWFIXED;
  if (style_ == lbOwnerDrawVariable) style |= LBS_OWNERDRAWVARIABLE;
  if (sorted_) style |= LBS_SORT;
  if (multiSelect_) style |= extendedSelect_ ? LBS_EXTENDEDSEL : LBS_MULTIPLESEL;
  if (!integralHeight_) style |= LBS_NOINTEGRALHEIGHT;
  if (columns_ != 0) style |= LBS_MULTICOLUMN;
  if (borderStyle_ == bsSingle) style |= WS_BORDER;
  if (tabWidth_ != 0) style |= LBS_USETABSTOPS;
  if (kPlatformHas3D && ctl3D_ && borderStyle_ == bsSingle) style &= ~static_cast<DWORD>(WS_BORDER);
  return style;
}

DWORD TCustomDrawListBox::WindowExStyle() const {
  return (kPlatformHas3D && ctl3D_ && borderStyle_ == bsSingle) ? WS_EX_CLIENTEDGE : 0;
}

void TCustomDrawListBox::CreateWnd() {
  static WNDPROC listProc = nullptr;
  // Not repainted whole on every resize.
  const char* cls = Superclass("LISTBOX", "Kestrivon.ListBox", CS_HREDRAW | CS_VREDRAW, &listProc);
  const RECT at = bounds_;
  const int width = at.right - at.left;
  const int height = at.bottom - at.top;
  CreateBound(WindowExStyle(), cls, std::string(), WindowStyle(), at.left, at.top, width, height,
              Parent().Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id())), listProc);
  HWND list = Handle();
  SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(OwnerForm().Font()), FALSE);
  // An integral-height list shrinks itself while being created.
  SetWindowPos(list, nullptr, at.left, at.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  if (style_ == lbOwnerDrawFixed) SendMessageA(list, LB_SETITEMHEIGHT, 0, MAKELPARAM(itemHeight_, 0));
  if (tabWidth_ != 0) {
    INT stop = tabWidth_;
    SendMessageA(list, LB_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&stop));
  }
  SetColumnWidth();
  if (SavedItems) {
    std::unique_ptr<TStringList> saved = std::move(SavedItems);
    items_.Assign(*saved);
    SetTopRow(SavedTopIndex);
    SetCurrentIndex(SavedItemIndex);
  }
  Parent().ChildBoundsChanged();
  ApplyHint();
}

void TCustomDrawListBox::DestroyWnd() {
  if (!HandleAllocated()) return;
  // Read here: DestroyWindow hides the window before WM_DESTROY.
  visible_ = (GetWindowLongA(Handle(), GWL_STYLE) & WS_VISIBLE) != 0;
  if (items_.Count() > 0) {
    auto saved = std::make_unique<TStringList>();
    saved->Assign(items_);
    SavedTopIndex = TopRow();
    SavedItemIndex = CurrentIndex();
    SavedItems = std::move(saved);
  }
  DestroyHandle();
}

void TCustomDrawListBox::RecreateWnd() {
  if (!HandleAllocated()) return;
  DestroyWnd();
  CreateWnd();
}

HWND TCustomDrawListBox::HandleNeeded() {
  if (!HandleAllocated()) CreateWnd();
  return Handle();
}

void TCustomDrawListBox::OnHandleDestroyed() { dragging_ = false; }

void TCustomDrawListBox::SetBounds(int left, int top, int width, int height) {
  bounds_ = RECT{left, top, left + width, top + height};
  Control::SetBounds(left, top, width, height);
}

void TCustomDrawListBox::SetVisible(bool visible) {
  visible_ = visible;
  if (!HandleAllocated()) return;
  UINT flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
  flags |= visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW;
  // Neither the list nor what it uncovers is redrawn until the program
  // invalidates it.
  if (TotalCtrlOverDraw) flags |= SWP_NOREDRAW;
  SetWindowPos(Handle(), nullptr, 0, 0, 0, 0, flags);
}

// --- properties ---

void TCustomDrawListBox::SetBorderStyle(TBorderStyle value) {
  if (value == borderStyle_) return;
  borderStyle_ = value;
  RecreateWnd();
}

void TCustomDrawListBox::SetColumns(int value) {
  if (value == columns_) return;
  if (columns_ == 0 || value == 0) {
    columns_ = value;
    RecreateWnd();
  } else {
    columns_ = value;
    if (HandleAllocated()) SetColumnWidth();
  }
}

void TCustomDrawListBox::SetExtendedSelect(bool value) {
  if (value == extendedSelect_) return;
  extendedSelect_ = value;
  RecreateWnd();
}

void TCustomDrawListBox::SetIntegralHeight(bool value) {
  if (value == integralHeight_) return;
  integralHeight_ = value;
  RecreateWnd();
}

int TCustomDrawListBox::ItemHeight() {
  if (style_ == lbStandard && HandleAllocated()) {
    RECT r{};
    if (SendMessageA(Handle(), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r)) != LB_ERR)
      return r.bottom - r.top;
    return static_cast<int>(SendMessageA(Handle(), LB_GETITEMHEIGHT, 0, 0));
  }
  return itemHeight_;
}

void TCustomDrawListBox::SetItemHeight(int value) {
  if (value <= 0 || value == itemHeight_) return;
  itemHeight_ = value;
  RecreateWnd();
}

void TCustomDrawListBox::SetMultiSelect(bool value) {
  if (value == multiSelect_) return;
  multiSelect_ = value;
  RecreateWnd();
}

void TCustomDrawListBox::SetSorted(bool value) {
  if (value == sorted_) return;
  sorted_ = value;
  RecreateWnd();
}

void TCustomDrawListBox::SetStyle(TListBoxStyle value) {
  if (value == style_) return;
  style_ = value;
  RecreateWnd();
}

void TCustomDrawListBox::SetTabWidth(int value) {
  if (value < 0) value = 0;
  if (value == tabWidth_) return;
  tabWidth_ = value;
  RecreateWnd();
}

void TCustomDrawListBox::SetCtl3D(bool value) {
  if (value == ctl3D_) return;
  ctl3D_ = value;
  Ctl3DChanged();
}

void TCustomDrawListBox::Ctl3DChanged() {
  if (kPlatformHas3D && borderStyle_ == bsSingle) RecreateWnd();
}

void TCustomDrawListBox::SetColor(COLORREF value) {
  if (value == color_) return;
  color_ = value;
  MakeBrush();
  if (HandleAllocated()) InvalidateRect(Handle(), nullptr, TRUE);
}

void TCustomDrawListBox::SetColumnWidth() {
  if (columns_ <= 0 || !HandleAllocated()) return;
  const int width = Width();
  if (width > 0) SendMessageA(Handle(), LB_SETCOLUMNWIDTH, static_cast<WPARAM>((width + columns_ - 3) / columns_), 0);
}

// --- list operations ---

bool TCustomDrawListBox::IsSelected(int index) {
  const LRESULT r = SendMessageA(HandleNeeded(), LB_GETSEL, static_cast<WPARAM>(index), 0);
  if (r == LB_ERR) throw EListError(platform::FormatError(kListIndexError, static_cast<long long>(index)));
  return r != 0;
}

int TCustomDrawListBox::SelectedCount() {
  return static_cast<int>(SendMessageA(HandleNeeded(), LB_GETSELCOUNT, 0, 0));
}

int TCustomDrawListBox::CurrentIndex() { return static_cast<int>(SendMessageA(HandleNeeded(), LB_GETCURSEL, 0, 0)); }

void TCustomDrawListBox::SetCurrentIndex(int value) {
  if (CurrentIndex() != value) SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

int TCustomDrawListBox::TopRow() { return static_cast<int>(SendMessageA(HandleNeeded(), LB_GETTOPINDEX, 0, 0)); }

void TCustomDrawListBox::SetTopRow(int value) {
  if (TopRow() != value) SendMessageA(Handle(), LB_SETTOPINDEX, static_cast<WPARAM>(value), 0);
}

int TCustomDrawListBox::ItemAtPoint(POINT pos, bool existing) {
  HWND list = HandleNeeded();
  RECT client{};
  GetClientRect(list, &client);
  if (!PtInRect(&client, pos)) return -1;
  const int count = items_.Count();
  for (int i = TopRow(); i < count; ++i) {
    RECT r{};
    if (SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r)) != LB_ERR &&
        PtInRect(&r, pos))
      return i;
  }
  return existing ? -1 : count;
}

TObjectRef TCustomDrawListBox::InternalGetItemData(int index) {
  return reinterpret_cast<TObjectRef>(SendMessageA(HandleNeeded(), LB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

void TCustomDrawListBox::InternalSetItemData(int index, TObjectRef data) {
  SendMessageA(HandleNeeded(), LB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(data));
}

void TCustomDrawListBox::ResetContent() { SendMessageA(HandleNeeded(), LB_RESETCONTENT, 0, 0); }

void TCustomDrawListBox::DeleteString(int index) {
  SendMessageA(HandleNeeded(), LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void TCustomDrawListBox::InitStorage(int lines, size_t bytes) {
  SendMessageA(HandleNeeded(), LB_INITSTORAGE, static_cast<WPARAM>(lines), static_cast<LPARAM>(bytes));
}

// --- messages ---

void TCustomDrawListBox::CNCommand(WORD code) {
  switch (code) {
    case LBN_SELCHANGE:
      if (OnClick) OnClick(*this);
      break;
    case LBN_DBLCLK:
      if (OnDblClick) OnDblClick(*this);
      break;
    default:
      break;
  }
}

bool TCustomDrawListBox::OnReflected(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
    case WM_DRAWITEM:
      CNDrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
      result = TRUE;
      return true;
    case WM_MEASUREITEM:
      CNMeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
      result = TRUE;
      return true;
    case WM_COMMAND:
      CNCommand(HIWORD(wParam));
      result = 0;
      return true;
    case WM_CTLCOLORLISTBOX: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(dc, color_);
      result = reinterpret_cast<LRESULT>(brush_.get());
      return true;
    }
    default:
      return Control::OnReflected(msg, wParam, lParam, result);
  }
}

LRESULT TCustomDrawListBox::OrdinaryKeyDown(UINT msg, WORD key, LPARAM lParam) {
  const TShiftState shift = KeyDataToShiftState(lParam);
  // The owning form's key preview comes first on the ordinary path.
  toolkit::Form& form = OwnerForm();
  if (form.KeyPreview && form.OnKeyDown) {
    form.OnKeyDown(key, shift);
    if (key == 0) return 0;
  }
  if (OnKeyDown) {
    OnKeyDown(*this, key, shift);
    if (key == 0) return 0;
  }
  return CallBase(msg, key, lParam);
}

LRESULT TCustomDrawListBox::WMKeyDown(UINT msg, WPARAM wParam, LPARAM lParam) {
  auto key = static_cast<WORD>(wParam);
  if (OverKeyDown && OnKeyDown) {
    OnKeyDown(*this, key, KeyDataToShiftState(lParam));
    if (key == 0) return 0;
  }
  return OrdinaryKeyDown(msg, key, lParam);
}

LRESULT TCustomDrawListBox::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT:
      if (wParam != 0) {
        PaintTo(reinterpret_cast<HDC>(wParam));
        return 0;
      }
      break;
    case WM_SIZE: {
      const LRESULT r = Control::OnMessage(msg, wParam, lParam);
      SetColumnWidth();
      return r;
    }
    case WM_DESTROY: {
      // Kept for a window that must be created again later.
      const RECT r = Bounds();
      if (r.right > r.left || r.bottom > r.top) bounds_ = r;
      enabled_ = IsWindowEnabled(Handle()) != FALSE;
      break;
    }
    // A key pressed with Alt held comes as a system key: the same handlers
    // see it, and the system's own handling (access keys, Alt+F4) follows.
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      return WMKeyDown(msg, wParam, lParam);
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      auto key = static_cast<WORD>(wParam);
      if (OnKeyUp) OnKeyUp(*this, key, KeyDataToShiftState(lParam));
      if (key == 0) return 0;
      return CallBase(msg, key, lParam);
    }
    case WM_CHAR: {
      auto key = static_cast<char>(wParam);
      if (OnKeyPress) OnKeyPress(*this, key);
      if (key == 0) return 0;
      return CallBase(msg, static_cast<unsigned char>(key), lParam);
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      return WMLButtonDown(msg, wParam, lParam);
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      const LRESULT r = CallBase(msg, wParam, lParam);
      const TMouseButton button = msg == WM_LBUTTONUP ? mbLeft : msg == WM_RBUTTONUP ? mbRight : mbMiddle;
      if (OnMouseUp)
        OnMouseUp(*this, button, MouseShiftState(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return r;
    }
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      const LRESULT r = CallBase(msg, wParam, lParam);
      if (OnMouseDown)
        OnMouseDown(*this, msg == WM_RBUTTONDOWN ? mbRight : mbMiddle, MouseShiftState(wParam),
                    GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return r;
    }
    case WM_MOUSEMOVE: {
      const LRESULT r = CallBase(msg, wParam, lParam);
      if (OnMouseMove) OnMouseMove(*this, MouseShiftState(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return r;
    }
    case WM_SETFOCUS: {
      const LRESULT r = CallBase(msg, wParam, lParam);
      if (OnEnter) OnEnter(*this);
      return r;
    }
    case WM_KILLFOCUS: {
      const LRESULT r = CallBase(msg, wParam, lParam);
      if (OnExit) OnExit(*this);
      return r;
    }
    default:
      break;
  }
  return Control::OnMessage(msg, wParam, lParam);
}

// ---------------------------------------------------------------------------
// TDrawBox

TDrawBox::TDrawBox(toolkit::Window& parent, int left, int top) : TCustomDrawListBox(parent, left, top) {
  MoveSense = true;
}

LRESULT TDrawBox::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_MOUSEMOVE) {
    WMMouseMove(lParam);
    return 0;
  }
  return TCustomDrawListBox::OnMessage(msg, wParam, lParam);
}

void TDrawBox::WMMouseMove(LPARAM lParam) {
  const int height = StoredItemHeight();
  if (!MoveSense || height == 0) return;
  const int x = GET_X_LPARAM(lParam);
  const int y = GET_Y_LPARAM(lParam);
  if (x == LastMousePos.x && y == LastMousePos.y) return;
  LastMousePos = POINT{x, y};
  // Counted from the top of the visible area; TopRow is not added.
  const int row = y / height;
  if (row > Items().Count() - 1) return;
  SetCurrentIndex(row);
  if (OnMouseRun) OnMouseRun(*this);
}

}  // namespace summary
