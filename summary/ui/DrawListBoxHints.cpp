// The hint of a list control, shown through the toolkit's tooltip.
#include "summary/ui/DrawListBox.h"

namespace summary {

void TCustomDrawListBox::SetHint(const std::string& text) { UpdateHint(text, showHint_ && !parentShowHint_); }

void TCustomDrawListBox::SetShowHint(bool value) {
  showHint_ = value;
  parentShowHint_ = false;
  UpdateHint(Hint(), showHint_);
}

void TCustomDrawListBox::SetParentShowHint(bool value) {
  parentShowHint_ = value;
  UpdateHint(Hint(), showHint_ && !parentShowHint_);
}

}  // namespace summary
