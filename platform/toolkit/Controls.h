#pragma once
// Controls, each a real child window so that robots and screen readers can
// read it. Positions are pixels in the parent's client area.
#include <windows.h>

#include <functional>
#include <string>

#include "platform/toolkit/DragDrop.h"
#include "platform/toolkit/Window.h"

namespace toolkit {

enum class Align { None, Bottom };

// A windowed control inside a form or a scroll box. Derived classes create
// the window in their constructor (CreateControl), either of a system class
// (subclassed) or of a class running the toolkit's procedure.
class Control : public Window {
 public:
  ~Control() override;

  Form& OwnerForm() override { return form_; }
  Window& Parent() const { return parent_; }
  int Id() const { return id_; }

  int Left() const { return Bounds().left; }
  int Top() const { return Bounds().top; }
  int Width() const;
  int Height() const;
  // The window's rectangle in the parent's client coordinates.
  RECT Bounds() const;
  virtual void SetBounds(int left, int top, int width, int height);

  // Bottom: the full width of the parent's client area, at its bottom,
  // keeping the height; followed when the parent is resized.
  void SetAlign(Align align);
  Align GetAlign() const { return align_; }
  void Realign();

  void SetFocus();

  // The form's font changed (it has been given to the window already).
  virtual void FontChanged() {}

  // The hint: while `show` is on and `text` is not empty, the platform's
  // tooltip shows `text` when the pointer rests on the control. The tooltip
  // sees the control's mouse messages before the control's own handling
  // does, so a control that keeps mouse moves to itself still has its hint;
  // it follows the control's window when that is created again.
  void UpdateHint(const std::string& text, bool show);
  const std::string& Hint() const { return hint_; }

  // Drag and drop (see DragDrop.h), as a place to drop on: whether the
  // control takes what `source` drags with the pointer at (x, y) of its
  // client area, `state` telling whether the pointer enters, moves over or
  // leaves it (the answer on leaving counts for nothing); then the drop.
  // By default a control takes nothing.
  virtual bool DragOver(Control& source, int x, int y, DragState state);
  virtual void DragDrop(Control& source, int x, int y);

 protected:
  explicit Control(Window& parent);

  // WS_CHILD | WS_VISIBLE are added; the form's font is given to the window.
  void CreateControl(const char* className, DWORD style, DWORD exStyle, int left, int top, int width,
                     int height, const std::string& text = {});
  // Same for a class whose procedure is the toolkit's (own class or a
  // superclass, see Window::OwnClass and Window::Superclass).
  void CreateBoundControl(const char* className, WNDPROC base, DWORD style, DWORD exStyle, int left,
                          int top, int width, int height, const std::string& text = {});
  // Gives the hint's tooltip the control's (new) window; a control that
  // creates its window by itself calls it once the window is there.
  void ApplyHint();

 private:
  void AfterCreate();

  Window& parent_;
  Form& form_;
  int id_;
  Align align_ = Align::None;
  std::string hint_;
  bool showHint_ = false;
  HWND tip_ = nullptr;  // the tooltip, created for the first hint shown
};

// STATIC that sizes itself to its text in the form's font.
class Label : public Control {
 public:
  Label(Window& parent, int left, int top, const std::string& caption = {});
  void SetCaption(const std::string& text) override;
  void SetShowAccelChar(bool show);
  bool ShowAccelChar() const { return showAccelChar_; }
  void FontChanged() override { AutoSize(); }
  void AutoSize();

 private:
  bool showAccelChar_ = true;
};

// STATIC of a fixed size whose text wraps; with ShowAccelChar off an
// ampersand is shown as it is.
class StaticText : public Control {
 public:
  StaticText(Window& parent, int left, int top, int width, int height, bool showAccelChar = true,
             const std::string& caption = {});
  void SetShowAccelChar(bool show);
  bool ShowAccelChar() const;
};

// A raised line along its top edge (highlight above shadow).
class Bevel : public Control {
 public:
  Bevel(Window& parent, int left, int top, int width, int height);

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
};

// Progress bar from 0 to 100 in steps of 1.
class ProgressBar : public Control {
 public:
  ProgressBar(Window& parent, int left, int top, int width, int height);
  // Values past the ends show as full or empty.
  void SetPosition(int position);
  int Position() const;
};

// Push button; a modal result other than mrNone ends its form's modal
// display when the button is pressed.
class Button : public Control {
 public:
  Button(Window& parent, int left, int top, int width, int height, const std::string& caption);
  int ModalResult = 0;
  std::function<void()> OnClick;

 protected:
  bool OnReflected(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

// A child window whose children scroll: a scroll bar appears when a child
// reaches past the client area in its direction.
class ScrollBox : public Control {
 public:
  ScrollBox(Window& parent, int left, int top, int width, int height, bool border = true);
  void ChildBoundsChanged() override { UpdateScrollBars(); }
  void UpdateScrollBars();
  int ScrollY() const { return y_; }
  void ScrollTo(int x, int y);

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnScroll(int bar, int code);
  int x_ = 0;
  int y_ = 0;
  bool inUpdate_ = false;
};

}  // namespace toolkit
