#pragma once
// Pictures of the program's windows for a person to compare with the layout
// tables: the window as it stands on the screen, saved as a 24-bit .bmp in
// <build>/screenshots/.
#include <windows.h>

#include <string>

namespace summary_e2e {

// The folder beside bin/ that holds the pictures (created when missing).
std::string ScreenshotFolder();

// Saves the window (frame included) as ScreenshotFolder() + name + ".bmp".
// Returns the path, or an empty text when the picture could not be taken or
// written.
std::string SaveWindowPicture(HWND window, const std::string& name);

}  // namespace summary_e2e
