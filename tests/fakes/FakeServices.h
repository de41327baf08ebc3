#pragma once
// Small fakes of the remaining services: message boxes answered from a
// script, a fixed screen, a module with a chosen path and version, a
// Windows-1252 (or chosen double-byte) locale and a named lock.
#include <deque>
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

 private:
  std::deque<int> answers_;
  std::vector<Shown> shown_;
};

class FakeScreen : public platform::IScreen {
 public:
  explicit FakeScreen(int ppi = 96) : ppi_(ppi) {}
  int PixelsPerInchY() override { return ppi_; }

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

class FakeNamedLock : public platform::INamedLock {
 public:
  bool available = true;
  std::vector<std::string> acquired;  // names, in order
  int held = 0;
  bool Acquire(const std::string& name, uint32_t) override {
    if (!available) return false;
    acquired.push_back(name);
    ++held;
    return true;
  }
  void Release() override { --held; }
};

}  // namespace fakes
