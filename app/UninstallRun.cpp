#include "app/UninstallRun.h"

#include <cfenv>
#include <cmath>

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
  const double q = static_cast<double>(processed) / static_cast<double>(toProcess) * 100.0;
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  double r = std::nearbyint(q);
  std::fesetround(saved);
  // The bar shows anything past its ends as full or empty.
  if (r > 100.0) r = 100.0;
  if (r < 0.0) r = 0.0;
  return static_cast<int>(r);
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
  data_.UninsData.BaseDir = env::ExtractFilePath(LogPath);
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
