#include "platform/win32/Unique.h"

#include <gtest/gtest.h>

#include <vector>

namespace platform::win32 {
namespace {

// Records what it closes, so the ownership rules can be checked exactly.
struct CountingTraits {
  static std::vector<int>& closed() {
    static std::vector<int> c;
    return c;
  }
  static int Empty() { return -1; }
  static void Close(int h) { closed().push_back(h); }
};
using UniqueInt = Unique<int, CountingTraits>;

class UniqueTest : public ::testing::Test {
 protected:
  void SetUp() override { CountingTraits::closed().clear(); }
  const std::vector<int>& closed() { return CountingTraits::closed(); }
};

TEST_F(UniqueTest, ClosesOnceAtTheEndOfItsScope) {
  {
    UniqueInt a(5);
    UniqueInt empty;
    EXPECT_TRUE(a.valid());
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty.get(), -1);
  }
  EXPECT_EQ(closed(), std::vector<int>{5});
}

TEST_F(UniqueTest, MoveHandsOverAndMoveAssignClosesTheOldHandleFirst) {
  UniqueInt a(1);
  UniqueInt b(std::move(a));
  EXPECT_FALSE(a.valid());
  EXPECT_EQ(b.get(), 1);
  UniqueInt c(2);
  c = std::move(b);
  EXPECT_EQ(closed(), std::vector<int>{2});
  EXPECT_EQ(c.get(), 1);
  EXPECT_FALSE(b.valid());
  auto& self = c;
  c = std::move(self);
  EXPECT_EQ(c.get(), 1);
  EXPECT_EQ(closed(), std::vector<int>{2});
}

TEST_F(UniqueTest, ReleaseGivesUpWithoutClosingAndResetCloses) {
  UniqueInt a(3);
  EXPECT_EQ(a.release(), 3);
  EXPECT_FALSE(a.valid());
  a.reset(4);
  a.reset(4);  // the same handle again is not closed
  EXPECT_TRUE(closed().empty());
  a.reset(6);
  a.reset();
  EXPECT_EQ(closed(), (std::vector<int>{4, 6}));
}

TEST_F(UniqueTest, PutClosesTheHeldHandleAndExposesTheEmptySlot) {
  UniqueInt a(7);
  int* slot = a.put();
  EXPECT_EQ(closed(), std::vector<int>{7});
  EXPECT_EQ(*slot, -1);
  *slot = 8;
  EXPECT_EQ(a.get(), 8);
}

static_assert(!std::is_copy_constructible_v<UniqueKey>);
static_assert(!std::is_copy_assignable_v<UniqueFind>);
static_assert(std::is_nothrow_move_constructible_v<UniqueHandle>);

// A kernel handle that is closed no longer answers GetHandleInformation.
bool HandleOpen(HANDLE h) {
  DWORD flags = 0;
  return GetHandleInformation(h, &flags) != 0;
}

TEST(UniqueHandles, KernelAndFileHandlesAreClosed) {
  HANDLE raw;
  {
    UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    raw = event.get();
    EXPECT_TRUE(HandleOpen(raw));
  }
  EXPECT_FALSE(HandleOpen(raw));

  char exe[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, exe, sizeof exe), 0u);
  UniqueFile missing(CreateFileA("C:\\no\\such\\file.und", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(missing);  // INVALID_HANDLE_VALUE is its empty value
  UniqueFile file(CreateFileA(exe, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file);
  raw = file.get();
  file.reset();
  EXPECT_FALSE(HandleOpen(raw));
  EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
}

TEST(UniqueHandles, FindHandlesAreClosedWithFindClose) {
  WIN32_FIND_DATAA fd;
  UniqueFind none(FindFirstFileA("C:\\no\\such\\*.*", &fd));
  EXPECT_FALSE(none);
  UniqueFind find(FindFirstFileA("C:\\*", &fd));
  ASSERT_TRUE(find);
  HANDLE raw = find.release();
  EXPECT_TRUE(FindNextFileA(raw, &fd) || GetLastError() == ERROR_NO_MORE_FILES);
  find.reset(raw);
  find.reset();
  SetLastError(0);
  EXPECT_FALSE(FindNextFileA(raw, &fd));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(UniqueHandles, KeysAreClosed) {
  UniqueKey key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, key.put()), ERROR_SUCCESS);
  HKEY raw = key.get();
  DWORD subkeys = 0;
  EXPECT_EQ(RegQueryInfoKeyA(raw, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  UniqueKey other = std::move(key);
  other = UniqueKey();
  EXPECT_EQ(RegQueryInfoKeyA(raw, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_INVALID_HANDLE);
}

TEST(UniqueHandles, GdiObjectsAreDeletedAndSelectionIsRestored) {
  UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  ASSERT_TRUE(dc);
  const HGDIOBJ original = GetCurrentObject(dc.get(), OBJ_FONT);
  HFONT raw;
  {
    UniqueFont font(CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial"));
    ASSERT_TRUE(font);
    raw = font.get();
    {
      SelectGuard guard(dc.get(), font.get());
      EXPECT_TRUE(guard.selected());
      EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_FONT), font.get());
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_FONT), original);
    EXPECT_EQ(GetObjectType(raw), static_cast<DWORD>(OBJ_FONT));
  }
  EXPECT_EQ(GetObjectType(raw), 0u);

  UniqueBrush brush(CreateSolidBrush(RGB(1, 2, 3)));
  SelectGuard early(dc.get(), brush.get());
  early.restore();  // back before the end of the scope, and only once
  EXPECT_NE(GetCurrentObject(dc.get(), OBJ_BRUSH), brush.get());
  SelectGuard nothing(dc.get(), nullptr);
  EXPECT_FALSE(nothing.selected());
}

TEST(UniqueHandles, WindowDcOfTheScreen) {
  WindowDc screen(nullptr);
  ASSERT_TRUE(screen);
  EXPECT_GT(GetDeviceCaps(screen.get(), LOGPIXELSY), 0);
}

}  // namespace
}  // namespace platform::win32
