#pragma once
// Real windows on the test's own thread, with the error report caught.
#include <gtest/gtest.h>
#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/toolkit/Application.h"
#include "platform/toolkit/Form.h"

namespace toolkit_test {

class ToolkitTest : public ::testing::Test {
 protected:
  ToolkitTest() {
    app.SetTitle("Teste");
    app.SetErrorReport([this](const std::string& text) { reports.push_back(text); });
  }
  ~ToolkitTest() override {
    // Nothing a test left behind may reach the next one.
    app.ProcessMessages();
  }

  static toolkit::FormParams Params(int width = 394, int height = 190) {
    toolkit::FormParams p;
    p.caption = "Teste";
    p.clientWidth = width;
    p.clientHeight = height;
    return p;
  }

  // Extent of `text` in `font`, measured here independently of the toolkit.
  static SIZE Extent(HFONT font, const std::string& text) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    DeleteDC(dc);
    return size;
  }

  static LONG FontHeightOf(HWND window) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    LOGFONTA lf{};
    if (font == nullptr || GetObjectA(font, sizeof lf, &lf) == 0) return 0;
    return lf.lfHeight;
  }

  static RECT Rect(int left, int top, int width, int height) { return RECT{left, top, left + width, top + height}; }

  toolkit::Application app;
  std::vector<std::string> reports;
};

}  // namespace toolkit_test

// RECT lives in the global namespace, so its operators must too.
inline bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline std::ostream& operator<<(std::ostream& os, const RECT& r) {
  return os << "{" << r.left << "," << r.top << " - " << r.right << "," << r.bottom << "}";
}

