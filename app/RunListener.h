#pragma once
// Who hears a whole run: the removal's stream (app/Outcome.h) and the run's
// own steps, each right after it happened, and how the run ended.
#include <cstdint>
#include <string>
#include <vector>

#include "app/Outcome.h"
#include "app/Registration.h"
#include "app/RunData.h"

namespace app {

// How a run ended.
enum class RunEnd : uint8_t {
  NoLog,          // no log argument (message 0)
  LogMissing,     // the log is not there (message 3)
  LogUnreadable,  // the log cannot be read or reached, or is refused (message 6); nothing touched
  InProgress,     // another run of the same log holds it; nothing touched
  Declined,       // No to the confirmation; nothing touched
  Finished,       // removed, and the registration counted down
  Error,          // an error ended the run (the standard error report's case)
};

// A consumer of a whole run. Every call comes on the run's thread, in the
// run's order.
class IRunListener : public IRemovalListener {
 public:
  // The log has been read into `data`.
  virtual void OnLogRead(const TRunData& /*data*/) {}
  // What became of the log's deletion, as an outcome of a file.
  virtual void OnLogDeleted(const Outcome& /*log*/) {}
  // What the count-down of the registration did (also when an error ended
  // it half-way).
  virtual void OnRegistration(const RegistrationResult& /*result*/) {}
  // A step of the run told in a line of its own (the journal's, an
  // earlier run's part): plain English, for the report.
  virtual void OnNote(const std::string& /*text*/) {}
  // The text of the error that ends the run, before OnEnd.
  virtual void OnError(const std::string& /*text*/) {}
  // The last call of a run.
  virtual void OnEnd(RunEnd /*end*/) {}
};

// Several listeners of one run, each called in the order they were added.
// No listener relies on another having heard a call first.
class RunListeners : public IRunListener {
 public:
  void Add(IRunListener& listener) { listeners_.push_back(&listener); }

  void OnPhase(Phase phase) override { Each(&IRunListener::OnPhase, phase); }
  void OnProgress(int64_t bytesProcessed, const std::string& currentObject) override {
    for (IRunListener* l : listeners_) l->OnProgress(bytesProcessed, currentObject);
  }
  void OnOutcome(const Outcome& outcome) override { Each(&IRunListener::OnOutcome, outcome); }
  void OnLogRead(const TRunData& data) override { Each(&IRunListener::OnLogRead, data); }
  void OnLogDeleted(const Outcome& log) override { Each(&IRunListener::OnLogDeleted, log); }
  void OnRegistration(const RegistrationResult& result) override { Each(&IRunListener::OnRegistration, result); }
  void OnNote(const std::string& text) override { Each(&IRunListener::OnNote, text); }
  void OnError(const std::string& text) override { Each(&IRunListener::OnError, text); }
  void OnEnd(RunEnd end) override { Each(&IRunListener::OnEnd, end); }

 private:
  template <class Method, class Arg>
  void Each(Method method, const Arg& arg) {
    for (IRunListener* l : listeners_) (l->*method)(arg);
  }
  std::vector<IRunListener*> listeners_;
};

}  // namespace app
