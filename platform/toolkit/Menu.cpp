#include "platform/toolkit/Menu.h"

#include "platform/Error.h"

namespace toolkit {

void MenuItem::SetEnabled(bool enabled) {
  enabled_ = enabled;
  EnableMenuItem(menu_, id_, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

PopupMenu::PopupMenu() : menu_(CreatePopupMenu()) {
  if (!menu_) throw platform::Error("Cannot create menu");
}

MenuItem& PopupMenu::Add(const std::string& caption) {
  const UINT id = static_cast<UINT>(items_.size()) + 1;  // 0 means "nothing chosen"
  if (!AppendMenuA(menu_.get(), MF_STRING, id, caption.c_str())) throw platform::Error("Cannot add menu item");
  items_.push_back(std::make_unique<MenuItem>(menu_.get(), id));
  return *items_.back();
}

void PopupMenu::Popup(HWND owner, int x, int y) {
  if (OnPopup) OnPopup();
  // The choice comes back here rather than as a WM_COMMAND to the owner.
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(
      menu_.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, x, y, 0,
      owner, nullptr));
  if (chosen == 0 || chosen > items_.size()) return;
  MenuItem& item = *items_[chosen - 1];
  if (item.Enabled() && item.OnClick) item.OnClick();
}

}  // namespace toolkit
