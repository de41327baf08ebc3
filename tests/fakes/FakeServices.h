#pragma once
// Small fakes of the remaining services: message boxes answered from a
// script, a fixed screen, a module with a chosen path and version, a
// Windows-1252 (or chosen double-byte) locale and a named lock.
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Services.h"

namespace fakes {

class FakeMessageBox : public platform::IMessageBox {
 public:
  struct Shown {
    std::string text, caption;
    uint32_t type;
  };
  // Answers given in order; when none are left, the box's default button
  // (No for MB_DEFBUTTON2 with Yes/No, else Yes for Yes/No, else OK).
  void Answer(int result) { answers_.push_back(result); }
  const std::vector<Shown>& shown() const { return shown_; }
  int ShowMessage(const std::string& text, const std::string& caption, uint32_t type) override;
  // What happens elsewhere while a box waits, given its text.
  std::function<void(const std::string&)> whileShown;

 private:
  std::deque<int> answers_;
  std::vector<Shown> shown_;
};

class FakeScreen : public platform::IScreen {
 public:
  explicit FakeScreen(int ppi = 96) : ppi_(ppi) {}
  int PixelsPerInchY() override { return ppi_; }
  bool SeenByAPerson() override { return seen; }
  bool seen = true;

 private:
  int ppi_;
};

class FakeModule : public platform::IModule {
 public:
  std::string path = "C:\\Program Files\\Kestrivon\\desinstalador.exe";
  std::optional<platform::FileVersion> version = platform::FileVersion{0x00010000, 0x00000003};
  std::string ProgramPath() override { return path; }
  bool ntFamily = true;
  std::optional<platform::FileVersion> ReadFileVersion(const std::string& p) override {
    return p == path ? version : std::nullopt;
  }
  bool RunsOnNtFamily() override { return ntFamily; }
  // A Windows of today, in English, with one user.
  platform::SystemFolders folders{
      "C:\\Windows",
      "C:\\Users",
      {"C:\\Program Files", "C:\\Program Files (x86)", "C:\\Program Files\\Common Files",
       "C:\\Program Files (x86)\\Common Files", "C:\\ProgramData",
       "C:\\ProgramData\\Microsoft\\Windows\\Start Menu", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs",
       "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", "C:\\Users\\Public\\Desktop",
       "C:\\Users\\Public\\Documents", "C:\\Users\\ana\\AppData\\Roaming", "C:\\Users\\ana\\AppData\\Local",
       "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu",
       "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
       "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
       "C:\\Users\\ana\\Desktop", "C:\\Users\\ana\\Documents", "C:\\Users\\ana"},
      "C:\\Users\\ana",
      {"C:\\ProgramData\\Microsoft\\Windows\\Start Menu", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs",
       "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", "C:\\Users\\Public\\Desktop",
       "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu",
       "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
       "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
       "C:\\Users\\ana\\Desktop",
       "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch"}};
  platform::SystemFolders KnownFolders() override { return folders; }
};

class FakeLocale : public platform::ILocale {
 public:
  std::string separator = ".";
  std::set<unsigned char> leadBytes;  // empty: single-byte code page
  int separatorReads = 0;
  std::string ThousandsSeparator() override {
    ++separatorReads;
    return separator;
  }
  bool EqualIgnoreCase(const std::string& a, const std::string& b) override;
  std::string UpperAnsi(const std::string& text) override;
  bool IsLeadByte(unsigned char byte) override { return leadBytes.count(byte) != 0; }
  // As Windows-1252, whatever the lead bytes.
  std::string ToUtf8(const std::string& ansi) override;
  // Lead bytes of code page 932 (Japanese), for the double-byte rules.
  void UseCodePage932();
};

// Locks of one machine: two FakeNamedLocks that share `taken` (copy it
// from one to the other) see each other's locks, as two processes would.
class FakeNamedLock : public platform::INamedLock {
 public:
  bool available = true;
  std::vector<std::string> acquired;  // names, in order
  int held = 0;
  std::shared_ptr<std::set<std::string>> taken = std::make_shared<std::set<std::string>>();
  bool Acquire(const std::string& name, uint32_t) override {
    Release();  // one lock per object, as the platform's
    if (!available || taken->count(name) != 0) return false;
    acquired.push_back(name);
    taken->insert(name);
    ++held;
    return true;
  }
  void Release() override {
    if (held == 0) return;
    --held;
    taken->erase(acquired.back());
  }
};

}  // namespace fakes
