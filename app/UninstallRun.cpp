#include "app/UninstallRun.h"

#include "env/Enviro.h"

namespace app {

namespace {
constexpr int32_t kNoArgument = 0;
constexpr int32_t kLogMissing = 3;
constexpr int32_t kLogUnreadable = 6;
constexpr int32_t kConfirm = 36;
constexpr int32_t kFinished = 41;
// "Inicializando..."
constexpr char kInitializing[] = "Inicializando...";
// The literal ends in one blank.
constexpr char kUninstalling[] = "Desinstalando ";
}  // namespace

std::string GroupThousands(int64_t value, const std::string& separator) {
  const bool negative = value < 0;
  // Work on the magnitude as unsigned so INT64_MIN cannot overflow.
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  const std::string digits = std::to_string(magnitude);
  std::string out;
  out.reserve(digits.size() + digits.size() / 3 * separator.size() + 1);
  if (negative) out += '-';
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

std::string FormatJobDone(int64_t processed, int64_t toProcess, const std::string& thousandsSeparator) {
  return GroupThousands(processed, thousandsSeparator) + " bytes processados de " +
         GroupThousands(toProcess, thousandsSeparator) + " bytes a processar";
}

std::optional<int> ProgressPosition(int64_t processed, int64_t toProcess) {
  if (toProcess <= 0) return std::nullopt;
  // The bar shows anything past its ends as full or empty.
  if (processed <= 0) return 0;
  if (processed >= toProcess) return 100;
  // In integers, so that no floating-point unit decides a half: x87's
  // extended precision would make 23 of 40 (57.5) come out as 58 in one
  // build and 57 in another. 100 * processed = whole * toProcess + rest,
  // summed up without overflow since processed < toProcess.
  const uint64_t p = static_cast<uint64_t>(processed);
  const uint64_t t = static_cast<uint64_t>(toProcess);
  int whole = 0;
  uint64_t rest = 0;
  for (int i = 0; i < 100; ++i) {
    if (rest >= t - p) {
      rest -= t - p;
      ++whole;
    } else {
      rest += p;
    }
  }
  // More than half of toProcess left over rounds up; exactly half, only to
  // the even neighbour.
  const uint64_t shortOfNext = t - rest;
  if (rest > shortOfNext || (rest == shortOfNext && whole % 2 != 0)) ++whole;
  return whole;
}

std::string LogPathFromArgument(const std::optional<std::string>& argument) {
  if (!argument || argument->find("/f:") == std::string::npos) return {};
  return argument->substr(3);
}

UninstallRun::UninstallRun(Services& services, IMainView& view, TRunData& data)
    : services_(services), view_(view), data_(data) {}

bool UninstallRun::Start(const std::optional<std::string>& firstArgument) {
  RegKeyList.clear();
  RegKeyLevels.clear();
  LogPath = LogPathFromArgument(firstArgument);
  data_.UninsData.BaseDir = env::FolderOfFile(LogPath);
  if (LogPath.empty()) {
    env::ShowCodedMessage(services_.box, kNoArgument, "");
    view_.Terminate();
    return false;
  }
  if (!services_.fs.FileExists(LogPath)) {
    env::ShowCodedMessage(services_.box, kLogMissing, LogPath);
    view_.Terminate();
    return false;
  }
  return true;
}

void UninstallRun::Activate() {
  if (Activated) return;
  Activated = true;
  running_ = true;
  struct EndOfRun {
    bool& running;
    ~EndOfRun() { running = false; }
  } endOfRun{running_};
  view_.SetPhase(kInitializing);
  if (!ReadLog()) {
    env::ShowCodedMessage(services_.box, kLogUnreadable, LogPath);
    view_.Terminate();
    return;
  }
  if (env::ShowCodedMessage(services_.box, kConfirm, data_.UninsData.AppName) == env::kIdNo) {
    view_.Terminate();
    return;
  }
  DeleteLog();
  view_.SetAppLine(kUninstalling + data_.UninsData.AppName);
  RemoveInstallation();
  env::ShowCodedMessage(services_.box, kFinished, "");
  UpdateRegistration();
  view_.Terminate();
}

void UninstallRun::DeleteLog() {
  // Gone before anything is removed, so an interrupted run cannot be started
  // again from the same log. Failures are not reported.
  const auto attributes = services_.fs.GetAttributes(LogPath);
  if (!attributes) return;
  if (services_.fs.SetAttributes(LogPath, *attributes & ~platform::kAttrReadOnly)) {
    services_.fs.RemoveFile(LogPath);
  }
}

void UninstallRun::ShowProgress() {
  view_.ShowProgress(FormatJobDone(BytesProcessed, BytesToProcess, services_.locale.ThousandsSeparator()),
                     CurrentObject, ProgressPosition(BytesProcessed, BytesToProcess));
}

}  // namespace app
