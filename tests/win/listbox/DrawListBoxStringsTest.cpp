// The lines of TDrawBox through its string list, on a real list window.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/win/listbox/DrawBoxFixture.h"

using summary::TDrawBox;

namespace {

using listbox_test::DrawBoxTest;

// --- lines ------------------------------------------------------------------

TEST_F(DrawBoxTest, ALineOf4095CharactersIsReadBackWhole) {
  std::string text;
  for (int i = 0; i < 4095; ++i) text += static_cast<char>('a' + i % 26);
  text[4094] = 'Z';
  box_->Items().Add("short");
  box_->Items().Add(text);
  EXPECT_EQ(box_->Items().Get(1), text);
  EXPECT_EQ(box_->Items()[0], "short");
}

TEST_F(DrawBoxTest, ReadingABadIndexOrTheReservedValueIsAnError) {
  box_->Items().AddObject("a", reinterpret_cast<void*>(static_cast<intptr_t>(-1)));
  box_->Items().AddObject("b", Obj(1));
  try {
    box_->Items().GetObject(0);
    FAIL() << "item value -1 was read back";
  } catch (const summary::EStringListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (0)");
  }
  EXPECT_EQ(box_->Items().GetObject(1), Obj(1));
  try {
    box_->Items().Get(5);
    FAIL() << "line 5 was read";
  } catch (const summary::EStringListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (5)");
  }
  try {
    box_->IsSelected(-3);
    FAIL() << "IsSelected(-3) answered";
  } catch (const summary::EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (-3)");
  }
  // Both are the project's error type, as the error report expects.
  EXPECT_THROW(box_->Items().Get(-1), platform::Error);
}

// Answers LB_ERRSPACE to every new line, as a list out of memory would.
WNDPROC g_realProc = nullptr;
LRESULT CALLBACK RefuseLines(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == LB_ADDSTRING || m == LB_INSERTSTRING) return LB_ERRSPACE;
  return CallWindowProcA(g_realProc, h, m, w, l);
}

TEST_F(DrawBoxTest, AWindowThatRefusesALineGivesUnableToInsertALine) {
  box_->Items().Add("kept");
  g_realProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(List(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RefuseLines)));
  std::string addError, insertError;
  try {
    box_->Items().Add("refused");
  } catch (const summary::EOutOfResources& e) {
    addError = e.what();
  }
  try {
    box_->Items().InsertObject(0, "refused", Obj(3));
  } catch (const summary::EOutOfResources& e) {
    insertError = e.what();
  }
  SetWindowLongPtrA(List(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_realProc));
  EXPECT_EQ(addError, "Unable to insert a line");
  EXPECT_EQ(insertError, "Unable to insert a line");
  ASSERT_EQ(box_->Items().Count(), 1);
  EXPECT_EQ(box_->Items().Get(0), "kept");
}

TEST_F(DrawBoxTest, ReplacingALineKeepsItsObjectAndTheCurrentLine) {
  Fill(8);
  box_->SetCurrentIndex(5);
  box_->Items().Put(3, "new three");
  EXPECT_EQ(box_->Items().Get(3), "new three");
  EXPECT_EQ(box_->Items().GetObject(3), Obj(3));
  EXPECT_EQ(box_->Items().Count(), 8);
  EXPECT_EQ(box_->CurrentIndex(), 5);
  box_->Items().PutObject(3, Obj(77));
  EXPECT_EQ(box_->Items().GetObject(3), Obj(77));
  box_->Items().Delete(0);
  EXPECT_EQ(box_->Items().Get(0), "line01");
  box_->Items().Clear();
  EXPECT_EQ(box_->Items().Count(), 0);
}

TEST_F(DrawBoxTest, WritingItemsCopiesTextsAndObjects) {
  Fill(2, "old");
  summary::TStringList source;
  source.AddObject("x", Obj(9));
  source.AddObject("y", nullptr);
  box_->SetItems(source);
  ASSERT_EQ(box_->Items().Count(), 2);
  EXPECT_EQ(box_->Items().Get(0), "x");
  EXPECT_EQ(box_->Items().GetObject(0), Obj(9));
  EXPECT_EQ(box_->Items().GetObject(1), nullptr);
  // Redrawing is on again after the update.
  box_->Items().BeginUpdate();
  box_->Items().EndUpdate();
  EXPECT_TRUE(IsWindowVisible(List()));
}

}  // namespace
