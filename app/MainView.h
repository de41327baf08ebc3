#pragma once
// What a run shows of itself while it works: the progress window, or a view
// that shows nothing. The questions a run asks and the summary it shows are
// its host's (app/RunHost.h), not the view's.
#include <optional>
#include <string>

namespace app {

class IMainView {
 public:
  virtual ~IMainView() = default;
  // The phase line (StaticText).
  virtual void SetPhase(const std::string& text) = 0;
  // The application line (lbFantaName); repaints at once.
  virtual void SetAppLine(const std::string& text) = 0;
  // Shows the processed-bytes line, the current object and, when given, the
  // bar position; repaints and lets pending window messages run.
  virtual void ShowProgress(const std::string& jobDone, const std::string& object,
                            std::optional<int> position) = 0;
  // Hourglass while the engine works, default cursor otherwise.
  virtual void SetBusyCursor(bool busy) = 0;
  // Tells the application to end.
  virtual void Terminate() = 0;
  // The standard error report of an error that ended the run, for a host
  // whose window stays after it (IRunHost::EndsAtError).
  virtual void ReportError(const std::string& text) = 0;
  // False for a view that shows no figures: they are not even worked out.
  virtual bool ShowsProgress() const { return true; }
};

// The view of a run without a window (a quiet run): it shows nothing.
class NoView : public IMainView {
 public:
  void SetPhase(const std::string&) override {}
  void SetAppLine(const std::string&) override {}
  void ShowProgress(const std::string&, const std::string&, std::optional<int>) override {}
  void SetBusyCursor(bool) override {}
  void Terminate() override {}
  void ReportError(const std::string&) override {}
  bool ShowsProgress() const override { return false; }
};

}  // namespace app
