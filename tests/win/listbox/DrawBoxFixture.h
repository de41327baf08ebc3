#pragma once
// TDrawBox on a real form under Wine, driven with real window messages: the
// fixture the list control's test files share.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/toolkit/Application.h"
#include "platform/toolkit/Form.h"
#include "summary/ui/DrawListBox.h"

namespace listbox_test {

using summary::TDrawBox;

class DrawBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_.SetTitle("listbox test");
    // A report here means an error reached a window procedure.
    app_.SetErrorReport([this](const std::string& text) { reports_.push_back(text); });
    toolkit::FormParams p;
    p.caption = "DrawBox";
    p.clientWidth = 300;
    p.clientHeight = 200;
    form_ = std::make_unique<toolkit::Form>(p);
    box_ = std::make_unique<TDrawBox>(*form_, 10, 10);
    form_->Show();
    Pump();
  }
  void TearDown() override {
    box_.reset();
    form_.reset();
    EXPECT_TRUE(reports_.empty()) << reports_.front();
  }

  void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  HWND List() { return box_->Handle(); }
  LONG Style() { return GetWindowLongA(List(), GWL_STYLE); }
  LONG ExStyle() { return GetWindowLongA(List(), GWL_EXSTYLE); }

  void Fill(int n, const char* prefix = "line") {
    for (int i = 0; i < n; ++i) {
      char text[32];
      wsprintfA(text, "%s%02d", prefix, i);
      box_->Items().AddObject(text, Obj(i));
    }
  }
  static void* Obj(int i) { return reinterpret_cast<void*>(static_cast<intptr_t>(0x1000 + 16 * i)); }

  RECT ItemRect(int i) {
    RECT r{};
    SendMessageA(List(), LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
    return r;
  }

  void MouseMove(int x, int y) { SendMessageA(List(), WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }

  toolkit::Application app_;
  std::vector<std::string> reports_;
  std::unique_ptr<toolkit::Form> form_;
  std::unique_ptr<TDrawBox> box_;
};

}  // namespace listbox_test
