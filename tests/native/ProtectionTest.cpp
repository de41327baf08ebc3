// Which keys and folders no uninstallation takes, whoever wrote its log.
#include "app/Protection.h"

#include <gtest/gtest.h>

#include "tests/fakes/FakeServices.h"

namespace {

constexpr uint32_t kHkcr = 0x80000000u, kHkcu = 0x80000001u, kHklm = 0x80000002u, kHku = 0x80000003u;

TEST(Protection, KeysOfTheSystemAndOfOtherProgramsButNotAnInstallersOwn) {
  const std::string uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  const struct {
    uint32_t root;
    std::string path;
    bool kept;
  } rows[] = {
      {kHklm, "", true},
      {kHklm, "\\Software\\", true},
      {kHkcu, "Software\\Maker", false},
      {kHkcu, "software\\maker\\app\\settings", false},
      {kHklm, "Software\\Wow6432Node", true},
      {kHklm, "Software\\Wow6432Node\\Maker\\App", false},
      {kHklm, "SOFTWARE\\Microsoft", true},
      {kHklm, "Software\\Microsoft\\Office\\App", false},
      {kHklm, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", true},
      {kHklm, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\app.exe", false},
      {kHkcu, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", true},
      {kHkcu, "Software\\Policies\\Maker", true},
      {kHklm, "System\\CurrentControlSet\\Services\\Svc", true},
      {kHkcu, "System\\Maker", false},
      {kHklm, uninstall + "Other", true},
      {kHklm, uninstall + "Other\\Sub", true},
      {kHklm, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other", true},
      {kHklm, uninstall + "app", false},  // the application's own entry, whatever the case
      {kHklm, uninstall + "App\\Sub", false},
      {kHku, "S-1-5-21-1\\Software", true},
      {kHku, "S-1-5-21-1\\Software\\Maker", false},
      {kHkcr, "", true},
      {kHkcr, "CLSID", true},
      {kHkcr, "Folder", true},
      {kHkcr, "CLSID\\{0D6F8B1E-0000-0000-0000-000000000001}", false},
      {kHkcr, ".app", false},
      {kHklm, "Software\\Classes\\CLSID", true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(app::ProtectedKeyReason(row.root, row.path, "App") != nullptr, row.kept) << row.root << " " << row.path;
  }
  EXPECT_NE(app::ProtectedKeyReason(kHklm, uninstall + "App"), nullptr) << "without an entry of its own, none is";
}

TEST(Protection, TheSystemsFoldersThemselvesAndWhatLiesInWindows) {
  fakes::FakeLocale locale;
  const app::Protection protection({"C:\\Windows", "C:\\Users", {"C:\\Program Files", "C:\\ProgramData", ""}}, locale);
  const struct {
    std::string path;
    bool kept;
  } rows[] = {
      {"C:\\Windows", true},          {"c:\\windows\\system32\\", true},  {"C:\\WindowsApps", false},
      {"C:\\Users", true},            {"C:\\Users\\Ana", true},            {"C:\\Users\\Ana\\AppData\\Maker", false},
      {"C:\\Program Files", true},    {"C:/Program Files/", true},         {"C:\\Program Files\\Maker", false},
      {"C:\\ProgramData\\Maker", false}, {"", false},                      {"D:\\Windows", false},
  };
  for (const auto& row : rows) EXPECT_EQ(protection.FolderReason(row.path) != nullptr, row.kept) << row.path;
}

}  // namespace
