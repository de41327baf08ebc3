// Which keys and folders no uninstallation takes, whoever wrote its log.
#include "app/Protection.h"
#include "app/KeyPlaces.h"

#include <gtest/gtest.h>

#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"

namespace {

constexpr uint32_t kHkcr = 0x80000000u, kHkcu = 0x80000001u, kHklm = 0x80000002u, kHku = 0x80000003u;

// Outside: refused when logged; Class: the application's only when it
// points at it; Application: by where it lies.
TEST(Protection, KeysOnlyInThePlacesOfAnApplicationsOwn) {
  using app::KeyPlace;
  constexpr KeyPlace out = KeyPlace::Outside, own = KeyPlace::Application, cls = KeyPlace::Class;
  const std::string uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  const std::string nt = "Software\\Microsoft\\Windows NT\\CurrentVersion\\", sid = fakes::kCurrentUserSid;
  const std::string paths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  const struct {
    uint32_t root;
    std::string path;
    KeyPlace place;
    std::string classKey = {};  // "": the path itself, for a class
  } rows[] = {
      {kHklm, "", out}, {kHklm, "\\Software\\", out}, {kHkcu, "Software\\Maker", own},
      {kHkcu, "software\\maker\\app\\settings", own}, {kHklm, "Software\\Wow6432Node", out},
      {kHklm, "Software\\Wow6432Node\\Maker\\App", own}, {kHklm, "SOFTWARE\\Microsoft", out},
      {kHklm, "Software\\Microsoft\\Office\\App", out},  // Microsoft's branch is the system's
      {kHklm, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", out},
      {kHklm, paths + "app.exe", cls, paths + "app.exe"}, {kHkcu, paths + "app.exe\\Sub", cls, paths + "app.exe"},
      {kHklm, paths + "readme", out}, {kHkcu, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", out},
      {kHkcu, "Software\\Policies\\Maker", out}, {kHklm, "Software\\Clients\\Mail\\Maker", out},
      {kHklm, "Software\\RegisteredApplications", out}, {kHklm, "System\\CurrentControlSet\\Services\\Svc", out},
      {kHkcu, "System\\Maker", out}, {kHklm, uninstall + "Other", out}, {kHklm, uninstall + "Other\\Sub", out},
      {kHklm, "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other", out},
      {kHklm, uninstall + "app", own},  // the application's own entry, whatever the case
      {kHklm, uninstall + "App\\Sub", own}, {kHku, "S-1-5-21-1\\Software", out},
      {kHku, "S-1-5-21-1\\Software\\Maker", out},  // another user's
      {kHku, sid + "\\Software\\Maker", own}, {kHku, sid, out}, {kHku, sid + "\\Software", out},
      {kHku, sid + "\\Control Panel\\Desktop", out}, {kHku, sid + "_Classes\\exefile", cls},
      {kHku, "S-1-5-18_Classes\\.abc", out},
      {kHku, sid + "\\Software\\Classes\\.abc\\OpenWithProgids", cls, sid + "\\Software\\Classes\\.abc"},
      {kHkcr, "", out}, {kHkcr, "CLSID", out}, {kHkcr, "Interface\\{00000000-0000-0000-C000-000000000046}", out},
      {kHkcr, "Folder", cls}, {kHkcr, "exefile\\shell\\open\\command", cls, "exefile"}, {kHkcr, ".exe", cls},
      {kHkcr, "CLSID\\{0D6F8B1E-0000-0000-0000-000000000001}", cls},
      {kHkcr, "CLSID\\{00021401-0000-0000-C000-000000000046}\\InprocServer32", cls,
       "CLSID\\{00021401-0000-0000-C000-000000000046}"},
      {kHkcr, "CLSID\\Maker", out}, {kHkcr, "Applications\\app.exe\\shell", cls, "Applications\\app.exe"},
      {kHkcr, "Applications", out}, {kHkcr, ".app", cls}, {kHkcr, "Maker.Doc\\shell\\open\\command", cls, "Maker.Doc"},
      {kHklm, "Software\\Classes\\CLSID", out}, {kHklm, "Software\\Classes", out},
      {kHkcu, "Software\\Classes\\Maker.Doc\\DefaultIcon", cls, "Software\\Classes\\Maker.Doc"},
      {kHklm, nt + "ProfileList\\S-1-5-21-1-1001", out}, {kHklm, nt + "Image File Execution Options\\x.exe", out},
      {kHklm, nt + "Winlogon\\Notify\\x", out}, {kHklm, "Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\x", out},
      {kHklm, "BCD00000000\\Objects", out}, {kHkcu, "Control Panel\\Desktop", out},
      {kHkcu, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", out},
      {0x80000005u, "Software\\Maker", out},
  };
  for (const auto& row : rows) {
    const app::KeyJudgement judged = app::JudgeKeyPlace(row.root, row.path, "App", &sid);
    EXPECT_EQ(judged.place, row.place) << row.root << " " << row.path << " -- " << (judged.why ? judged.why : "");
    EXPECT_EQ(judged.classKey, row.place == cls && row.classKey.empty() ? row.path : row.classKey) << row.path;
    EXPECT_NE(judged.why, nullptr) << row.path;
  }
  EXPECT_EQ(app::JudgeKeyPlace(kHklm, uninstall + "App", "", &sid).place, out) << "without an entry of its own, none is";
  EXPECT_EQ(app::JudgeKeyPlace(kHku, "S-1-5-21-1\\Software\\Maker", "", nullptr).place, own)
      << "a user's branch, not knowing whose";
  const std::string none;
  EXPECT_EQ(app::JudgeKeyPlace(kHku, sid + "\\Software\\Maker", "", &none).place, out) << "the system cannot tell";
  // Whose branch of HKEY_USERS is the current user's, the registry tells.
  fakes::FakeRegistry registry;
  const std::vector<uint8_t> levels = {1, 0, 1};
  EXPECT_EQ(app::AnotherUsersKeyReason({"\\3\\" + sid + "\\Software\\Maker", "\\3\\S-1-5-18\\Software\\X",
                                        "\\3\\" + sid + "_Classes\\.abc"}, levels, registry), std::nullopt);
  EXPECT_EQ(app::AnotherUsersKeyReason({"\\1\\Software\\Maker", "\\3\\S-1-5-18\\Software\\X"}, {1, 1}, registry),
            "registry key 1 names a key that is not the application's: another user's branch of HKEY_USERS, or the "
            "system's");
  registry.SetCurrentUserBranch("");
  EXPECT_NE(app::AnotherUsersKeyReason({"\\3\\" + sid + "\\Software\\Maker"}, {1}, registry), std::nullopt);
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
