#pragma once
// A process that dies after a number of changes to the disk and the
// registry. A fake file system and a fake registry that share one count
// each change through Change(); once the budget is spent the next change
// throws Crash instead of happening, and so does every change after it, so
// that nothing past the crash point reaches the world, whatever the code
// under test does with the exception.
namespace fakes {

// Not a std::exception: only a catch-all catches it.
struct Crash {};

class CrashPoint {
 public:
  // The process dies at the change after the next `changes` changes.
  void DieAfter(int changes) { left_ = changes; }
  // The changes made so far, whether a death is armed or not.
  int changes() const { return changes_; }
  bool died() const { return died_; }

  // Called right before a change is made.
  void Change() {
    if (died_ || left_ == 0) {
      died_ = true;
      throw Crash{};
    }
    if (left_ > 0) --left_;
    ++changes_;
  }

 private:
  int left_ = -1;  // -1: never
  int changes_ = 0;
  bool died_ = false;
};

}  // namespace fakes
