// The hint of TDrawBox through the platform's tooltip.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/win/listbox/DrawBoxFixture.h"

using summary::TDrawBox;

namespace {

using listbox_test::DrawBoxTest;

// --- hints ----------------------------------------------------------------------

class HintTest : public DrawBoxTest {
 protected:
  // The tooltip of the form's controls, if one was made.
  HWND Tip() {
    struct Search {
      HWND form;
      HWND tip;
    } search{form_->Handle(), nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM data) WINAPI -> BOOL {
          auto* s = reinterpret_cast<Search*>(data);
          char cls[64] = {};
          GetClassNameA(hwnd, cls, sizeof cls);
          if (lstrcmpiA(cls, TOOLTIPS_CLASSA) != 0 || GetWindow(hwnd, GW_OWNER) != s->form) return TRUE;
          s->tip = hwnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.tip;
  }
  // The one tool of the tooltip: the window it watches and its text.
  std::pair<HWND, std::string> Tool(HWND tip) {
    char text[80] = {};
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    if (!SendMessageA(tip, TTM_ENUMTOOLSA, 0, reinterpret_cast<LPARAM>(&tool))) return {nullptr, ""};
    tool.lpszText = text;
    SendMessageA(tip, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
    return {reinterpret_cast<HWND>(tool.uId), text};
  }
  // The pointer rests on the list: true when the tip showed meanwhile.
  bool HoverShowsTip(HWND tip) {
    const RECT r = ItemRect(0);
    POINT at{r.left + 10, r.top + 4};
    POINT screen = at;
    ClientToScreen(List(), &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageA(List(), WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
    for (DWORD start = GetTickCount(); GetTickCount() - start < 2000;) {
      Pump();
      if (IsWindowVisible(tip)) return true;
      Sleep(20);
    }
    return false;
  }
};

TEST_F(HintTest, TheHintIsTheListsOwnToolAndFollowsItsNewWindow) {
  EXPECT_TRUE(box_->ParentShowHint());
  EXPECT_FALSE(box_->ShowHint());
  box_->SetHint("Dica");
  EXPECT_EQ(Tip(), nullptr) << "the form shows no hints, so neither does the list";

  box_->SetShowHint(true);
  EXPECT_FALSE(box_->ParentShowHint());
  HWND tip = Tip();
  ASSERT_NE(tip, nullptr);
  EXPECT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
  EXPECT_EQ(Tool(tip), std::make_pair(List(), std::string("Dica")));

  box_->SetHint("Outra dica");
  EXPECT_EQ(Tool(tip), std::make_pair(List(), std::string("Outra dica")));

  const HWND before = List();
  box_->SetBorderStyle(summary::bsNone);  // the window is created again
  ASSERT_NE(List(), before);
  EXPECT_EQ(Tip(), tip);
  EXPECT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
  EXPECT_EQ(Tool(tip), std::make_pair(List(), std::string("Outra dica")));
}

TEST_F(HintTest, TheHintShowsOverAListThatKeepsMouseMovesToItself) {
  Fill(3);
  int runs = 0;
  box_->OnMouseRun = [&](TDrawBox&) { ++runs; };
  box_->SetHint("Dica");
  box_->SetShowHint(true);
  HWND tip = Tip();
  ASSERT_NE(tip, nullptr);
  EXPECT_TRUE(HoverShowsTip(tip));
  EXPECT_EQ(runs, 1) << "the list's own step ran as well";

  SendMessageA(tip, TTM_POP, 0, 0);
  box_->SetParentShowHint(true);
  MouseMove(0, 0);  // a new position for the list's own step
  EXPECT_FALSE(HoverShowsTip(tip)) << "hidden again with the parent's choice";
}

}  // namespace
