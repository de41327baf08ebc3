#pragma once
// Drag and drop between the toolkit's controls. A drag runs its own loop
// with the mouse captured by its source, as the system's drag detection and
// menu tracking do: it follows the pointer, asks the control under it
// whether it takes the drop (Control::DragOver), shows the drag cursor there
// and the no-drop cursor elsewhere, and at the release of the left button
// drops on it (Control::DragDrop). Escape, a right-button press, a lost
// capture or a release where nothing takes the drop cancel the drag.
#include <windows.h>

namespace toolkit {

class Control;

enum class DragState { Enter, Leave, Move };

struct DragResult {
  Control* target = nullptr;  // the control dropped on; null when cancelled
  POINT at{};                 // the pointer at the end, in the target's client
                              // coordinates (the source's when cancelled)
};

// Runs a drag from `source` until it ends. Unless `immediate`, the drag
// proper begins only once the pointer, the button held, leaves the system's
// drag rectangle around `start` (the source's client coordinates); a release
// before that ends it without a target and without asking any control.
// `dragCursor` null: the arrow. Messages other than the mouse's and Escape
// are handled as usual meanwhile. An error raised by a control's answer ends
// the drag (the capture released) and is passed on.
DragResult TrackDrag(Control& source, POINT start, bool immediate, HCURSOR dragCursor);

}  // namespace toolkit
