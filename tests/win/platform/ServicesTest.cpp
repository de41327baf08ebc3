// Locale, module, screen, message box and named lock over the real API.
// The locale checks run under LANG=pt_BR.UTF-8 (the test runner's default),
// where Wine uses code page 1252 and the Brazilian number format.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/win32/Win32Services.h"
#include "tests/fakes/FakeServices.h"

namespace platform::win32 {
namespace {

template <typename Locale>
class LocaleContract : public ::testing::Test {
 protected:
  void SetUp() override {
    if (GetACP() != 1252) GTEST_SKIP() << "needs the Windows-1252 code page (LANG=pt_BR.UTF-8)";
  }
  Locale locale;
};

struct LocaleNames {
  template <typename T>
  static std::string GetName(int) {
    return std::is_same_v<T, Win32Locale> ? "Win32" : "Fake";
  }
};
using Locales = ::testing::Types<fakes::FakeLocale, Win32Locale>;
TYPED_TEST_SUITE(LocaleContract, Locales, LocaleNames);

TYPED_TEST(LocaleContract, BrazilianThousandsSeparator) { EXPECT_EQ(this->locale.ThousandsSeparator(), "."); }

TYPED_TEST(LocaleContract, UpperCasesWindows1252Letters) {
  // "ação" -> "AÇÃO"
  EXPECT_EQ(this->locale.UpperAnsi("a\347\343o"), "A\307\303O");
  // "c:\arquivos de programas\ß\ÿ" -> the sharp s has no capital in 1252; "ÿ" has "Ÿ" (0x9F)
  EXPECT_EQ(this->locale.UpperAnsi("c:\\arquivos de programas\\\337\\\377"), "C:\\ARQUIVOS DE PROGRAMAS\\\337\\\237");
  EXPECT_EQ(this->locale.UpperAnsi(""), "");
  EXPECT_EQ(this->locale.UpperAnsi(std::string("a\0b", 3)), std::string("A\0B", 3));
}

TYPED_TEST(LocaleContract, ComparesIgnoringCaseButNotAccents) {
  EXPECT_TRUE(this->locale.EqualIgnoreCase("C:\\Arquivos de Programas\\A\347\343o\\d.exe",
                                           "c:\\ARQUIVOS DE PROGRAMAS\\a\307\303O\\D.EXE"));
  EXPECT_FALSE(this->locale.EqualIgnoreCase("acao", "a\347\343o"));
  EXPECT_FALSE(this->locale.EqualIgnoreCase("abc", "abd"));
  EXPECT_FALSE(this->locale.EqualIgnoreCase("abc", "abcd"));
  EXPECT_FALSE(this->locale.EqualIgnoreCase("", "x"));
  EXPECT_TRUE(this->locale.EqualIgnoreCase("", ""));
}

TYPED_TEST(LocaleContract, NoLeadBytesInASingleByteCodePage) {
  for (int b = 0; b < 256; ++b) EXPECT_FALSE(this->locale.IsLeadByte(static_cast<unsigned char>(b))) << b;
}

// Every byte, so that the fake's table cannot drift from the code page.
TEST(Win32Locale, UpperCasingAgreesWithTheFakeOnEveryByte) {
  if (GetACP() != 1252) GTEST_SKIP() << "needs code page 1252";
  Win32Locale real;
  fakes::FakeLocale fake;
  for (int b = 1; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(static_cast<unsigned char>(real.UpperAnsi(one)[0]), static_cast<unsigned char>(fake.UpperAnsi(one)[0]))
        << "byte " << b;
  }
}

TEST(Win32Module, ProgramPathNamesThisTestProgram) {
  Win32Module module;
  const std::string path = module.ProgramPath();
  const std::string tail = "\\und_win_platform.exe";
  ASSERT_GT(path.size(), tail.size());
  EXPECT_EQ(path[1], ':');
  Win32Locale locale;
  EXPECT_TRUE(locale.EqualIgnoreCase(path.substr(path.size() - tail.size()), tail)) << path;
  Win32FileSystem fs;
  EXPECT_TRUE(fs.FileExists(path));
}

TEST(Win32Module, FileVersionOnlyFromAVersionResource) {
  Win32Module module;
  EXPECT_EQ(module.ReadFileVersion(module.ProgramPath()), std::nullopt) << "the test program has no version";
  EXPECT_EQ(module.ReadFileVersion("C:\\no\\such\\file.exe"), std::nullopt);
  char system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(system, sizeof system), 0u);
  auto v = module.ReadFileVersion(std::string(system) + "\\kernel32.dll");
  ASSERT_TRUE(v);
  EXPECT_NE(v->ms, 0u);
}

TEST(Win32Module, RunsOnTheNtFamily) { EXPECT_TRUE(Win32Module().RunsOnNtFamily()); }

TEST(Win32Screen, ReportsAPlausibleResolution) {
  const int ppi = Win32Screen().PixelsPerInchY();
  EXPECT_GE(ppi, 72);
  EXPECT_LE(ppi, 480);
}

// The box must belong to the active window and return the button pressed.
TEST(Win32MessageBox, OwnedByTheActiveWindowAndAnswersTheButton) {
  HWND owner = CreateWindowExA(0, "STATIC", "und owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(owner, nullptr);
  SetForegroundWindow(owner);
  SetActiveWindow(owner);
  ASSERT_EQ(GetActiveWindow(), owner);

  // "Apagar "x"?" with the line break LF CR the catalogue uses.
  const std::string text = "Apagar \"x\"?\n\rSim ou n\343o";
  std::atomic<bool> found{false};
  HWND boxOwner = nullptr;
  std::string shownText;
  std::thread robot([&] {
    for (int i = 0; i < 600 && !found; ++i) {
      HWND box = FindWindowA("#32770", "Caixa de teste");
      if (box != nullptr && IsWindowVisible(box)) {
        boxOwner = GetWindow(box, GW_OWNER);
        char buffer[256] = {};
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
        shownText = buffer;
        found = true;
        PostMessageA(box, WM_COMMAND, IDNO, 0);
      } else {
        Sleep(50);
      }
    }
  });
  const int answer = Win32MessageBox().ShowMessage(text, "Caixa de teste", MB_YESNO | MB_ICONQUESTION);
  robot.join();
  DestroyWindow(owner);
  ASSERT_TRUE(found);
  EXPECT_EQ(answer, IDNO);
  EXPECT_EQ(boxOwner, owner);
  EXPECT_EQ(shownText, text);
}

std::string LockName(const char* what) {
  return std::string("und-test\\") + what + "-" + std::to_string(GetCurrentProcessId());
}

TEST(Win32NamedLock, ASecondHolderTimesOutWhileTheLockIsHeld) {
  const std::string name = LockName("held");
  Win32NamedLock first;
  ASSERT_TRUE(first.Acquire(name, 0));
  EXPECT_TRUE(first.Held());
  bool got = true;
  std::thread([&] {
    Win32NamedLock second;
    got = second.Acquire(name, 20);
    EXPECT_FALSE(second.Held());
  }).join();
  EXPECT_FALSE(got);

  first.Release();
  EXPECT_FALSE(first.Held());
  std::thread([&] {
    Win32NamedLock second;
    got = second.Acquire(name, 10000);
  }).join();
  EXPECT_TRUE(got);
}

TEST(Win32NamedLock, AnAbandonedLockCanBeTaken) {
  const std::string name = LockName("abandoned");
  Win32NamedLock dead;
  bool taken = false;
  std::thread([&] { taken = dead.Acquire(name, 0); }).join();  // the thread ends holding it
  ASSERT_TRUE(taken);
  Win32NamedLock next;
  EXPECT_TRUE(next.Acquire(name, 10000));
}

TEST(Win32NamedLock, BackslashesAreMappedAndEmptyNamesRefused) {
  EXPECT_EQ(Win32NamedLock::MutexName("a\\b\\c"), "Global\\a_b_c");
  const std::string name = LockName("mapped");  // holds a backslash
  Win32NamedLock first;
  ASSERT_TRUE(first.Acquire(name, 0));
  std::string same = name;
  same[same.find('\\')] = '_';
  bool got = true;
  std::thread([&] { got = Win32NamedLock().Acquire(same, 0); }).join();
  EXPECT_FALSE(got) << "both names are the same mutex";
  EXPECT_FALSE(Win32NamedLock().Acquire("", 0));
}

}  // namespace
}  // namespace platform::win32
