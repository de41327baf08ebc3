#pragma once
// The failure list as a consumer of the engine's outcome stream: what
// resisted, as display lines under up to five group headers, in the order
// in which it resisted.
#include "app/Outcome.h"
#include "app/RunData.h"

namespace app {

// Header lines of the failure list, one per group, in their only order.
// "Arquivos que não puderam ser apagados:"
inline constexpr char kFailHeaderFiles[] = "Arquivos que n\343o puderam ser apagados:";
// "Pastas que não puderam ser apagadas:"
inline constexpr char kFailHeaderFolders[] = "Pastas que n\343o puderam ser apagadas:";
// "Atalhos que não puderam ser apagados:"
inline constexpr char kFailHeaderShortcuts[] = "Atalhos que n\343o puderam ser apagados:";
// "Pastas de atalhos que não puderam ser apagadas:"
inline constexpr char kFailHeaderShortcutFolders[] = "Pastas de atalhos que n\343o puderam ser apagadas:";
// "Registros que não puderam ser eliminados:"
inline constexpr char kFailHeaderRegistry[] = "Registros que n\343o puderam ser eliminados:";

// True for an outcome that becomes a line: a changed file, a folder that is
// not empty, and whatever the system refused. A key with subkeys, anything
// absent and what goes at the next start of Windows do not.
bool IsFailure(const Outcome& outcome);

// Appends a line for every failure to `list`, under its group's header:
// files; installation and host folders; shortcuts; shortcut folders; keys.
// Shortcut host folders join the open group: the shortcut folders' when
// that phase began, the shortcuts' otherwise. A header comes only with the
// first line of its group, so none ever stands alone. A file or folder line
// carries a TFailData of its kind; the other lines carry none.
class FailListBuilder : public IRemovalListener {
 public:
  explicit FailListBuilder(TFailList& list) : list_(list) {}
  void OnPhase(Phase phase) override;
  void OnOutcome(const Outcome& outcome) override;

 private:
  TFailList& list_;
  int openGroup_ = 0;    // group of the last phase that opened one, 1 to 5
  int headerShown_ = 0;  // group whose header was added last
};

}  // namespace app
