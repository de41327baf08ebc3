// Drawing the lines of TDrawBox, read back from memory DCs.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/win/listbox/DrawBoxFixture.h"

using summary::TDrawBox;

namespace {

using listbox_test::DrawBoxTest;

// A 32-bit image of what a drawing step put into a memory DC.
class Image {
 public:
  Image(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    HBRUSH b = CreateSolidBrush(fill);
    RECT all{0, 0, width, height};
    FillRect(dc_, &all, b);
    DeleteObject(b);
  }
  ~Image() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  COLORREF At(int x, int y) const {
    GdiFlush();
    const uint32_t v = bits_[y * width_ + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
  // The pixels of rows [top, top + height) and columns [0, width).
  std::vector<COLORREF> Band(int top, int height, int width) const {
    std::vector<COLORREF> out;
    for (int y = top; y < top + height; ++y)
      for (int x = 0; x < width; ++x) out.push_back(At(x, y));
    return out;
  }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* bits_ = nullptr;
};

constexpr COLORREF kMagenta = RGB(255, 0, 255);

// --- drawing ------------------------------------------------------------------

class DrawingTest : public DrawBoxTest {
 protected:
  // The list's client area as the list itself paints it (WM_PRINTCLIENT:
  // the system's paint code with its WM_DRAWITEM to the form).
  std::unique_ptr<Image> PrintClient() {
    RECT c{};
    GetClientRect(List(), &c);
    auto img = std::make_unique<Image>(c.right, c.bottom, kMagenta);
    SendMessageA(List(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(img->dc()), PRF_CLIENT | PRF_ERASEBKGND);
    return img;
  }
};

TEST_F(DrawingTest, OwnerDrawnLinesLookTheSameSelectedOrNot) {
  box_->SetStyle(summary::lbOwnerDrawFixed);
  for (int i = 0; i < 3; ++i) box_->Items().Add("Same");
  box_->SetCurrentIndex(0);
  box_->SetFocus();
  ASSERT_TRUE(box_->IsSelected(0));
  auto img = PrintClient();
  const int h = box_->StoredItemHeight();
  const int w = img->width();
  const COLORREF window = GetSysColor(COLOR_WINDOW);
  const std::vector<COLORREF> selected = img->Band(0, h, w);
  const std::vector<COLORREF> plain = img->Band(h, h, w);
  EXPECT_EQ(selected, plain);
  // Filled with the background, the text starting 2 pixels in.
  int ink = 0;
  for (int y = 0; y < h; ++y) {
    EXPECT_EQ(img->At(0, y), window);
    EXPECT_EQ(img->At(1, y), window);
    for (int x = 2; x < w; ++x) ink += img->At(x, y) != window;
  }
  EXPECT_GT(ink, 0) << "no text drawn";
}

TEST_F(DrawingTest, TheStatesReachOnDrawItemAndTheStandardListColoursSelection) {
  // Guards the test above: the lines are drawn in different states, and a
  // standard list does show the difference.
  for (int i = 0; i < 3; ++i) box_->Items().Add("Same");
  box_->SetCurrentIndex(0);
  {
    auto img = PrintClient();
    const RECT r = ItemRect(0);
    const int h = r.bottom - r.top;
    EXPECT_NE(img->Band(0, h, img->width()), img->Band(h, h, img->width()));
  }
  box_->SetStyle(summary::lbOwnerDrawFixed);
  box_->SetCurrentIndex(0);
  std::vector<summary::TOwnerDrawState> states(3, 0xFF);
  box_->OnDrawItem = [&](summary::TCustomDrawListBox& c, int index, const RECT& rect,
                         summary::TOwnerDrawState state) {
    EXPECT_EQ(&c, box_.get());
    EXPECT_NE(c.ItemCanvas().Handle(), nullptr);
    if (index >= 0 && index < 3) states[index] = state;
    c.ItemCanvas().FillRect(rect);
  };
  auto img = PrintClient();
  EXPECT_TRUE(states[0] & ODS_SELECTED);
  EXPECT_FALSE(states[1] & ODS_SELECTED);
  EXPECT_EQ(box_->ItemCanvas().Handle(), nullptr);  // bound only while drawing
}

TEST_F(DrawingTest, PaintingIntoAGivenDcStartsAtTheFirstVisibleLine) {
  box_->SetStyle(summary::lbOwnerDrawFixed);
  Fill(12);
  box_->SetTopRow(2);
  ASSERT_EQ(box_->TopRow(), 2);
  auto client = PrintClient();
  Image given(box_->Width(), box_->Height(), kMagenta);
  SendMessageA(List(), WM_PAINT, reinterpret_cast<WPARAM>(given.dc()), 0);
  const int h = box_->StoredItemHeight();
  const RECT r2 = ItemRect(2);
  ASSERT_EQ(r2.top, 0);
  // Row 0 of the image is line 2, as the list shows it at its top.
  EXPECT_EQ(given.Band(0, h, client->width()), client->Band(0, h, client->width()));
  // Rows cover the whole height (the last one reaches past the bottom).
  EXPECT_NE(given.At(5, given.height() - 1), kMagenta);
}

TEST_F(DrawingTest, PaintingAnEmptyListFillsOneRow) {
  box_->SetStyle(summary::lbOwnerDrawFixed);
  Image given(box_->Width(), box_->Height(), kMagenta);
  SendMessageA(List(), WM_PAINT, reinterpret_cast<WPARAM>(given.dc()), 0);
  const int h = box_->StoredItemHeight();
  EXPECT_EQ(given.At(5, 1), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(given.At(5, h - 1), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(given.At(5, h + 1), kMagenta);
}

}  // namespace
