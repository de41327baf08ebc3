#include "tests/e2e/summary/Screenshot.h"

#include <cstdint>
#include <vector>

#include "tests/e2e/robot/Robot.h"

namespace summary_e2e {

std::string ScreenshotFolder() {
  const std::string folder = robot::ModuleFolder() + "..\\screenshots\\";
  robot::MakeFolders(folder);
  return folder;
}

std::string SaveWindowPicture(HWND window, const std::string& name) {
  RECT r{};
  if (!GetWindowRect(window, &r)) return {};
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return {};

  // The screen's picture at the window's place: another process's window
  // can't be asked to draw into a DC of ours.
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return {};
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as a .bmp stores it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
  const DWORD imageSize = stride * static_cast<DWORD>(height);
  std::string bytes;
  if (dib != nullptr && memory != nullptr) {
    HGDIOBJ old = SelectObject(memory, dib);
    ok = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != FALSE;
    GdiFlush();
    SelectObject(memory, old);
    if (ok) {
      BITMAPFILEHEADER file{};
      file.bfType = 0x4D42;  // "BM"
      file.bfOffBits = sizeof file + sizeof info.bmiHeader;
      file.bfSize = file.bfOffBits + imageSize;
      info.bmiHeader.biSizeImage = imageSize;
      bytes.append(reinterpret_cast<const char*>(&file), sizeof file);
      bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
      bytes.append(static_cast<const char*>(bits), imageSize);
    }
  }
  if (dib != nullptr) DeleteObject(dib);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!ok) return {};
  const std::string path = ScreenshotFolder() + name + ".bmp";
  return robot::WriteFileBytes(path, bytes) ? path : std::string();
}

}  // namespace summary_e2e
