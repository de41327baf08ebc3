#pragma once
// Context menu: opens on the context-menu gesture over the window it is
// attached to (Window::SetPopupMenu), raising OnPopup just before.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/Unique.h"

namespace toolkit {

class MenuItem {
 public:
  MenuItem(HMENU menu, UINT id) : menu_(menu), id_(id) {}
  UINT Id() const { return id_; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  std::function<void()> OnClick;

 private:
  HMENU menu_;
  UINT id_;
  bool enabled_ = true;
};

class PopupMenu {
 public:
  PopupMenu();
  PopupMenu(const PopupMenu&) = delete;
  PopupMenu& operator=(const PopupMenu&) = delete;

  HMENU Handle() const { return menu_.get(); }
  // The caption may hold an ampersand before the access key.
  MenuItem& Add(const std::string& caption);
  std::function<void()> OnPopup;

  // Raises OnPopup, tracks the menu at screen point (x, y) for `owner`, and
  // raises the chosen item's OnClick.
  void Popup(HWND owner, int x, int y);

 private:
  platform::win32::UniqueMenu menu_;
  std::vector<std::unique_ptr<MenuItem>> items_;
};

}  // namespace toolkit
