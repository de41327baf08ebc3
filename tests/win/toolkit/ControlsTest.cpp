// Controls: sizes and places, accelerator characters, the bevel and the
// bar, the scroll box, the popup menu, the screen cursor and the reflection
// of child notifications to a system-class control.
#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "platform/toolkit/Controls.h"
#include "platform/toolkit/Menu.h"
#include "tests/win/toolkit/ToolkitFixture.h"

namespace toolkit_test {
namespace {

using ControlsTest = ToolkitTest;

std::string ClassOf(HWND h) {
  char name[64] = {};
  GetClassNameA(h, name, sizeof name);
  return name;
}

TEST_F(ControlsTest, EveryTextControlIsARealStaticChildWindow) {
  toolkit::Form form(Params());
  toolkit::Label label(form, 6, 8, "lbFantaName");
  toolkit::StaticText text(form, 4, 40, 381, 23, true, "StaticText");
  EXPECT_EQ(ClassOf(label.Handle()), "Static");
  EXPECT_EQ(ClassOf(text.Handle()), "Static");
  EXPECT_EQ(GetParent(label.Handle()), form.Handle());
  char buffer[32] = {};
  GetWindowTextA(text.Handle(), buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "StaticText");
  EXPECT_EQ(GetDlgItem(form.Handle(), text.Id()), text.Handle());
}

TEST_F(ControlsTest, LabelSizesItselfToItsTextInTheFormsFont) {
  toolkit::Form form(Params());
  toolkit::Label label(form, 6, 8, "Desinstalando Demo");
  SIZE e = Extent(form.Font(), "Desinstalando Demo");
  EXPECT_EQ(label.Bounds(), Rect(6, 8, e.cx, e.cy));

  label.SetCaption("1.234.567 bytes processados de 9.999.999 bytes a processar");
  e = Extent(form.Font(), "1.234.567 bytes processados de 9.999.999 bytes a processar");
  EXPECT_EQ(label.Bounds(), Rect(6, 8, e.cx, e.cy));

  // Empty, it keeps the size of one blank.
  label.SetCaption("");
  e = Extent(form.Font(), " ");
  EXPECT_EQ(label.Bounds(), Rect(6, 8, e.cx, e.cy));
  EXPECT_GT(label.Width(), 0);

  label.SetCaption("Demo");
  const int before = label.Width();
  form.SetFontHeight(-20);
  e = Extent(form.Font(), "Demo");
  EXPECT_EQ(label.Bounds(), Rect(6, 8, e.cx, e.cy));
  EXPECT_GT(label.Width(), before);
}

TEST_F(ControlsTest, AcceleratorCharacterProcessingFollowsShowAccelChar) {
  toolkit::Form form(Params());
  toolkit::StaticText shown(form, 4, 40, 381, 23, /*showAccelChar=*/true);
  toolkit::StaticText literal(form, 4, 70, 381, 23, /*showAccelChar=*/false);
  EXPECT_FALSE(GetWindowLongA(shown.Handle(), GWL_STYLE) & SS_NOPREFIX);
  EXPECT_TRUE(GetWindowLongA(literal.Handle(), GWL_STYLE) & SS_NOPREFIX);
  EXPECT_TRUE(shown.ShowAccelChar());
  EXPECT_FALSE(literal.ShowAccelChar());
  literal.SetShowAccelChar(true);
  EXPECT_FALSE(GetWindowLongA(literal.Handle(), GWL_STYLE) & SS_NOPREFIX);

  // A label measures what it shows: the ampersand only when it is literal.
  toolkit::Label label(form, 2, 144, "&Apagar");
  EXPECT_EQ(label.Width(), Extent(form.Font(), "Apagar").cx);
  label.SetShowAccelChar(false);
  EXPECT_TRUE(GetWindowLongA(label.Handle(), GWL_STYLE) & SS_NOPREFIX);
  EXPECT_EQ(label.Width(), Extent(form.Font(), "&Apagar").cx);
}

TEST_F(ControlsTest, BevelAlignedToTheBottomFollowsTheForm) {
  toolkit::Form form(Params(394, 190));
  toolkit::ProgressBar bar(form, 10, 172, 371, 12);
  toolkit::Bevel bevel(form, 0, 165, 394, 25);
  bevel.SetAlign(toolkit::Align::Bottom);
  EXPECT_EQ(bevel.Bounds(), Rect(0, 165, 394, 25));
  EXPECT_EQ(bar.Bounds(), Rect(10, 172, 371, 12));

  form.SetClientSize(554, 308);
  EXPECT_EQ(bevel.Bounds(), Rect(0, 283, 554, 25));
  EXPECT_EQ(bar.Bounds(), Rect(10, 172, 371, 12)) << "only aligned controls move";
  // The bevel lies below the controls it frames.
  EXPECT_EQ(GetWindow(bevel.Handle(), GW_HWNDLAST), bevel.Handle());
}

TEST_F(ControlsTest, BevelDrawsARaisedLineAlongItsTopEdge) {
  toolkit::Form form(Params(200, 100));
  toolkit::Bevel bevel(form, 0, 50, 200, 50);
  form.Show();
  form.Repaint();
  HDC dc = GetDC(form.Handle());
  const COLORREF top = GetPixel(dc, 100, 50);
  const COLORREF below = GetPixel(dc, 100, 51);
  const COLORREF inside = GetPixel(dc, 100, 70);
  ReleaseDC(form.Handle(), dc);
  EXPECT_EQ(top, GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(below, GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(inside, GetSysColor(COLOR_BTNFACE));
}

TEST_F(ControlsTest, ProgressBarRunsFrom0To100AndClampsItsPosition) {
  toolkit::Form form(Params());
  toolkit::ProgressBar bar(form, 10, 172, 371, 12);
  EXPECT_EQ(ClassOf(bar.Handle()), PROGRESS_CLASSA);
  PBRANGE range{};
  SendMessageA(bar.Handle(), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(bar.Position(), 0);
  bar.SetPosition(38);
  EXPECT_EQ(bar.Position(), 38);
  SendMessageA(bar.Handle(), PBM_STEPIT, 0, 0);
  EXPECT_EQ(bar.Position(), 39) << "step 1";
  bar.SetPosition(150);
  EXPECT_EQ(bar.Position(), 100);
  bar.SetPosition(-5);
  EXPECT_EQ(bar.Position(), 0);
}

TEST_F(ControlsTest, ScrollBoxShowsScrollBarsOnlyForALargerChild) {
  toolkit::Form form(Params(400, 300));
  toolkit::ScrollBox box(form, 0, 0, 200, 100, /*border=*/false);
  toolkit::StaticText child(box, 0, 0, 50, 50);
  auto bars = [&] { return GetWindowLongA(box.Handle(), GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL); };
  EXPECT_EQ(bars(), 0);
  EXPECT_EQ(box.ClientWidth(), 200);
  EXPECT_EQ(box.ClientHeight(), 100);

  child.SetBounds(0, 0, 400, 50);
  EXPECT_EQ(bars(), WS_HSCROLL);
  EXPECT_EQ(box.ClientHeight(), 100 - GetSystemMetrics(SM_CYHSCROLL));
  EXPECT_EQ(box.ClientWidth(), 200);

  child.SetBounds(0, 0, 50, 300);
  EXPECT_EQ(bars(), WS_VSCROLL);
  EXPECT_EQ(box.ClientWidth(), 200 - GetSystemMetrics(SM_CXVSCROLL));

  child.SetBounds(0, 0, 400, 300);
  EXPECT_EQ(bars(), WS_HSCROLL | WS_VSCROLL);

  // Exactly the client size needs no bar.
  child.SetBounds(0, 0, 200, 100);
  EXPECT_EQ(bars(), 0);
}

TEST_F(ControlsTest, TabReachesControlsInsideAScrollBox) {
  toolkit::Form form(Params(400, 300));
  toolkit::Button outside(form, 300, 250, 80, 20, "Fora");
  toolkit::ScrollBox box(form, 0, 0, 200, 100, /*border=*/false);
  toolkit::Button inside(box, 10, 10, 80, 20, "Dentro");
  EXPECT_TRUE(GetWindowLongA(box.Handle(), GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
  EXPECT_EQ(GetNextDlgTabItem(form.Handle(), outside.Handle(), FALSE), inside.Handle());
  EXPECT_EQ(GetNextDlgTabItem(form.Handle(), inside.Handle(), FALSE), outside.Handle());
}

TEST_F(ControlsTest, ScrollBoxScrollsItsChildrenAndKeepsTheViewInside) {
  toolkit::Form form(Params(400, 300));
  toolkit::ScrollBox box(form, 0, 0, 200, 100, /*border=*/false);
  toolkit::StaticText child(box, 0, 0, 180, 400);
  ASSERT_TRUE(GetWindowLongA(box.Handle(), GWL_STYLE) & WS_VSCROLL);
  SendMessageA(box.Handle(), WM_VSCROLL, SB_PAGEDOWN, 0);
  EXPECT_EQ(box.ScrollY(), 100);
  EXPECT_EQ(child.Top(), -100);
  SendMessageA(box.Handle(), WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(box.ScrollY(), 300);
  EXPECT_EQ(child.Top(), -300);
  EXPECT_EQ(GetScrollPos(box.Handle(), SB_VERT), 300);

  // The child shrinks: the view comes back so that nothing is left empty.
  child.SetBounds(0, child.Top(), 180, 150);
  EXPECT_LE(box.ScrollY(), 50);
  EXPECT_EQ(child.Top(), -box.ScrollY());
}

void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  EndMenu();
}

TEST_F(ControlsTest, PopupMenuItemStateAndClick) {
  toolkit::Form form(Params());
  toolkit::StaticText target(form, 10, 10, 200, 50);
  toolkit::PopupMenu menu;
  toolkit::MenuItem& item = menu.Add("&Apagar");
  target.SetPopupMenu(&menu);

  item.SetEnabled(false);
  EXPECT_TRUE(GetMenuState(menu.Handle(), item.Id(), MF_BYCOMMAND) & MF_GRAYED);
  item.SetEnabled(true);
  EXPECT_FALSE(GetMenuState(menu.Handle(), item.Id(), MF_BYCOMMAND) & MF_GRAYED);
  char caption[32] = {};
  GetMenuStringA(menu.Handle(), item.Id(), caption, sizeof caption, MF_BYCOMMAND);
  EXPECT_STREQ(caption, "&Apagar");

  form.Show();
  int popups = 0, clicks = 0;
  bool enabledWhenOpened = false;
  item.OnClick = [&] { ++clicks; };
  menu.OnPopup = [&] {
    ++popups;
    item.SetEnabled(popups == 1);  // the second time it is greyed
    enabledWhenOpened = !(GetMenuState(menu.Handle(), item.Id(), MF_BYCOMMAND) & MF_GRAYED);
    // Keys for the menu's own loop: go to the first item and press Enter
    // (which closes the menu also on a greyed item). Should the menu stay
    // open all the same, the timer closes it.
    PostMessageA(form.Handle(), WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(form.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    SetTimer(nullptr, 0, 3000, CloseMenu);
  };
  RECT r{};
  GetWindowRect(target.Handle(), &r);
  PostMessageA(target.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(target.Handle()),
               MAKELPARAM(r.left + 5, r.top + 5));
  app.ProcessMessages();
  EXPECT_EQ(popups, 1);
  EXPECT_TRUE(enabledWhenOpened);
  EXPECT_EQ(clicks, 1);

  PostMessageA(target.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(target.Handle()), -1);
  app.ProcessMessages();
  EXPECT_EQ(popups, 2);
  EXPECT_EQ(clicks, 1) << "a greyed item cannot be chosen";
}

TEST_F(ControlsTest, ScreenCursorIsHonouredOverEveryControl) {
  toolkit::Form form(Params());
  toolkit::StaticText text(form, 4, 40, 381, 23);
  const LPARAM hit = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
  toolkit::Screen::SetCursor(toolkit::CursorKind::Hourglass);
  SetCursor(nullptr);
  EXPECT_TRUE(SendMessageA(text.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(text.Handle()), hit));
  EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));

  toolkit::Screen::SetCursor(toolkit::CursorKind::Default);
  EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
  SetCursor(nullptr);
  SendMessageA(text.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(text.Handle()), hit);
  EXPECT_NE(GetCursor(), LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
}

// What a list control built on the system LISTBOX relies on: a superclass
// bound from its first message, and the parent's owner-draw and command
// notifications given back to it, also inside a scroll box.
class OwnerDrawList : public toolkit::Control {
 public:
  explicit OwnerDrawList(toolkit::Window& parent) : Control(parent) {
    static WNDPROC base = nullptr;
    const char* cls = Superclass("LISTBOX", "Kestrivon.TestList", CS_HREDRAW | CS_VREDRAW, &base);
    CreateBoundControl(cls, base, LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY | WS_VSCROLL, 0, 0, 0,
                       150, 60);
  }
  int measured = 0, drawn = 0, selChanges = 0, colours = 0;
  std::string lastDrawn;

 protected:
  bool OnReflected(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    switch (msg) {
      case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = 17;
        ++measured;
        result = TRUE;
        return true;
      case WM_DRAWITEM: {
        const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        char text[64] = {};
        if (d->itemID != static_cast<UINT>(-1)) SendMessageA(Handle(), LB_GETTEXT, d->itemID, reinterpret_cast<LPARAM>(text));
        lastDrawn = text;
        ++drawn;
        result = TRUE;
        return true;
      }
      case WM_COMMAND:
        if (HIWORD(wParam) == LBN_SELCHANGE) ++selChanges;
        result = 0;
        return true;
      case WM_CTLCOLORLISTBOX:
        ++colours;
        return false;  // the parent's usual answer
      default:
        return false;
    }
  }
};

TEST_F(ControlsTest, SystemListGetsItsNotificationsBackFromTheParent) {
  toolkit::Form form(Params());
  toolkit::ScrollBox box(form, 0, 0, 300, 150);
  OwnerDrawList list(box);
  EXPECT_GE(list.measured, 1) << "WM_MEASUREITEM comes during creation";
  EXPECT_EQ(SendMessageA(list.Handle(), LB_GETITEMHEIGHT, 0, 0), 17);
  EXPECT_EQ(ClassOf(list.Handle()), "Kestrivon.TestList");
  EXPECT_EQ(toolkit::Window::FromHandle(list.Handle()), &list);

  SendMessageA(list.Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("    C:\\App\\a.dll"));
  char text[64] = {};
  SendMessageA(list.Handle(), LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "    C:\\App\\a.dll");

  form.Show();
  form.Repaint();
  EXPECT_GE(list.drawn, 1);
  EXPECT_EQ(list.lastDrawn, "    C:\\App\\a.dll");

  SendMessageA(box.Handle(), WM_COMMAND, MAKEWPARAM(list.Id(), LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list.Handle()));
  EXPECT_EQ(list.selChanges, 1);
  SendMessageA(box.Handle(), WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(GetDC(list.Handle())),
               reinterpret_cast<LPARAM>(list.Handle()));
  EXPECT_GE(list.colours, 1);

  list.SetVisible(false);
  EXPECT_FALSE(IsWindowVisible(list.Handle()));
  list.SetVisible(true);
  EXPECT_TRUE(IsWindowVisible(list.Handle()));
}

TEST_F(ControlsTest, EveryToolkitWindowLeadsToItsObjectAndNoOtherWindowToAny) {
  toolkit::Form form(Params());
  toolkit::Label label(form, 6, 8, "lbFantaName");
  toolkit::Label hinted(form, 6, 30, "dica");
  hinted.UpdateHint("uma dica", true);  // the tooltip subclasses it once more
  toolkit::ScrollBox box(form, 0, 60, 300, 100);
  OwnerDrawList list(box);
  list.UpdateHint("outra dica", true);
  // A system window whose user data is somebody else's business.
  HWND plain = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, form.Handle(), nullptr, nullptr, nullptr);
  SetWindowLongPtrA(plain, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&form));
  const struct {
    HWND window;
    toolkit::Window* object;
  } cases[] = {
      {form.Handle(), &form}, {label.Handle(), &label}, {hinted.Handle(), &hinted}, {box.Handle(), &box},
      {list.Handle(), &list}, {plain, nullptr},         {GetDesktopWindow(), nullptr},
  };
  for (const auto& c : cases) EXPECT_EQ(toolkit::Window::FromHandle(c.window), c.object) << ClassOf(c.window);
  DestroyWindow(plain);
}

TEST_F(ControlsTest, DestroyedWindowsLeaveTheirObjects) {
  toolkit::Form form(Params());
  auto text = std::make_unique<toolkit::StaticText>(form, 4, 40, 381, 23);
  HWND h = text->Handle();
  EXPECT_EQ(form.Controls().size(), 1u);
  text.reset();
  EXPECT_FALSE(IsWindow(h));
  EXPECT_TRUE(form.Controls().empty());

  toolkit::StaticText kept(form, 4, 40, 381, 23);
  HWND k = kept.Handle();
  form.DestroyHandle();
  EXPECT_FALSE(IsWindow(k));
  EXPECT_EQ(kept.Handle(), nullptr) << "the child's object no longer names a dead window";
  EXPECT_EQ(toolkit::Window::FromHandle(k), nullptr);
}

}  // namespace
}  // namespace toolkit_test
