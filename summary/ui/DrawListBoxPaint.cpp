// Drawing the lines of a list control: the item canvas, the drawing and
// measuring steps, and painting into a supplied device context.
#include "summary/ui/DrawListBox.h"

#include "platform/toolkit/Form.h"

namespace summary {

// ---------------------------------------------------------------------------
// TItemCanvas

void TItemCanvas::Bind(HDC dc, HFONT font, HBRUSH brush, COLORREF brushColor) {
  Unbind();
  dc_ = dc;
  brush_ = brush;
  color_ = brushColor;
  fontSelection_.emplace(dc, font);
  brushSelection_.emplace(dc, brush);
}

void TItemCanvas::Unbind() {
  if (dc_ == nullptr) return;
  // The brush goes back first, the reverse of the selection.
  brushSelection_.reset();
  fontSelection_.reset();
  dc_ = nullptr;
  brush_ = nullptr;
}

void TItemCanvas::FillRect(const RECT& rect) {
  if (dc_ != nullptr && brush_ != nullptr) ::FillRect(dc_, &rect, brush_);
}

void TItemCanvas::WriteText(int x, int y, const std::string& text) {
  if (dc_ == nullptr) return;
  SetBkMode(dc_, OPAQUE);
  SetBkColor(dc_, color_);
  SetTextColor(dc_, GetSysColor(COLOR_WINDOWTEXT));
  const UINT align = SetTextAlign(dc_, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  ::TextOutA(dc_, x, y, text.c_str(), static_cast<int>(text.size()));
  if (align != GDI_ERROR) SetTextAlign(dc_, align);
}

// ---------------------------------------------------------------------------
// Drawing the lines

void TCustomDrawListBox::DoDrawItem(int index, const RECT& rect, TOwnerDrawState state) {
  if (OnDrawItem) {
    OnDrawItem(*this, index, rect, state);
    return;
  }
  canvas_.FillRect(rect);
  if (index < items_.Count()) canvas_.WriteText(rect.left + 2, rect.top, items_.Get(index));
}

void TCustomDrawListBox::DoMeasureItem(int index, int& height) {
  if (OnMeasureItem) OnMeasureItem(*this, index, height);
}

void TCustomDrawListBox::CNDrawItem(DRAWITEMSTRUCT& draw) {
  const auto state = static_cast<TOwnerDrawState>(draw.itemState & 0xFF);
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(Handle(), WM_GETFONT, 0, 0));
  if (font == nullptr) font = OwnerForm().Font();
  canvas_.Bind(draw.hDC, font, brush_.get(), color_);
  const TItemCanvas::BindingGuard bound(canvas_);
  // No selection colours and no focus rectangle: DoDrawItem alone decides.
  if (static_cast<int>(draw.itemID) >= 0)
    DoDrawItem(static_cast<int>(draw.itemID), draw.rcItem, state);
  else
    canvas_.FillRect(draw.rcItem);  // an empty list with the focus
}

void TCustomDrawListBox::CNMeasureItem(MEASUREITEMSTRUCT& measure) {
  int height = itemHeight_;
  if (style_ == lbOwnerDrawVariable) DoMeasureItem(static_cast<int>(measure.itemID), height);
  measure.itemHeight = static_cast<UINT>(height);
}

void TCustomDrawListBox::PaintTo(HDC dc) {
  const int width = Width();
  const int height = Height();
  const int count = items_.Count();
  int y = 0;
  int i = TopRow();
  while (y < height) {
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = ODT_LISTBOX;
    measure.CtlID = static_cast<UINT>(Id());
    measure.itemID = static_cast<UINT>(i);
    measure.itemWidth = static_cast<UINT>(width);
    measure.itemHeight = static_cast<UINT>(itemHeight_);
    if (i >= 0 && i < count) measure.itemData = reinterpret_cast<ULONG_PTR>(InternalGetItemData(i));
    CNMeasureItem(measure);

    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_LISTBOX;
    draw.CtlID = static_cast<UINT>(Id());
    draw.itemID = static_cast<UINT>(i);
    draw.itemAction = ODA_DRAWENTIRE;
    draw.itemState = 0;
    draw.hwndItem = Handle();
    draw.hDC = dc;
    draw.rcItem = RECT{0, y, static_cast<LONG>(measure.itemWidth), y + static_cast<LONG>(measure.itemHeight)};
    draw.itemData = measure.itemData;
    CNDrawItem(draw);

    y += static_cast<int>(measure.itemHeight);
    ++i;
    if (i >= count) break;
  }
}

}  // namespace summary
