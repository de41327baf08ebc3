#pragma once
// A top-level form: border style, centring, client size, one font shared by
// all its controls, events, modal display and text measurement.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolkit/Window.h"
#include "platform/win32/Unique.h"

namespace toolkit {

class Control;

enum class BorderStyle {
  Single,  // caption bar with close box, fixed size
  Dialog,  // dialog frame, fixed size
};

// Modal results.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

struct FormParams {
  std::string caption;
  BorderStyle border = BorderStyle::Single;
  int clientWidth = 300;
  int clientHeight = 200;
  bool centered = true;  // at the centre of the screen
  std::string fontName = "MS Sans Serif";
  int fontHeight = -11;  // negative: character height in pixels
  HWND owner = nullptr;  // the owner window; none: the application window
};

class Form : public Window {
 public:
  // Creates the (hidden) window. A derived form creates its controls and
  // then calls DoCreate, which raises OnCreate.
  explicit Form(const FormParams& params);
  ~Form() override;

  Form& OwnerForm() override { return *this; }

  // Events. Errors they raise reach the application's error report.
  std::function<void()> OnCreate;
  std::function<void()> OnShow;      // the form is about to show
  std::function<void()> OnActivate;  // each activation, after it happened
  std::function<void()> OnDestroy;   // the window is being destroyed
  // Asked before a close request (close box, Alt+F4, Close, the taskbar's
  // close) is carried out; false: the request is ignored.
  std::function<bool()> OnCloseQuery;
  // Key preview: with KeyPreview on, OnKeyDown sees a key pressed in one of
  // the form's controls before the control does (`shift`: the control's
  // shift-state bits); a handler that sets the key to 0 stops it there.
  bool KeyPreview = false;
  std::function<void(WORD& key, unsigned shift)> OnKeyDown;

  void DoCreate();

  void Show();
  void Hide();
  // As the close box: unless OnCloseQuery refuses, ends a modal display
  // with mrCancel, terminates the application for its main form, and hides
  // any other form.
  void Close();

  // Shows the form modally over the thread's other windows (disabled
  // meanwhile, all but the application window) and returns when a modal
  // result is set, the form is closed or the application is terminated.
  int ShowModal();
  void SetModalResult(int result) { modalResult_ = result; }
  bool Modal() const { return modal_; }

  void SetClientSize(int width, int height);
  // Centres the window on the screen.
  void Center();

  HFONT Font() const { return font_.get(); }
  const std::string& FontName() const { return fontName_; }
  int FontHeight() const { return fontHeight_; }
  // Re-creates the font and gives it to every control.
  void SetFontHeight(int height);

  // Extent of `text` drawn in the form's font. To measure many texts, a
  // TextMeter is cheaper.
  int TextWidth(const std::string& text);
  int TextHeight(const std::string& text);

  // Controls of this form (nested ones included), in creation order.
  const std::vector<Control*>& Controls() const { return controls_; }
  void AddControl(Control* control);
  void RemoveControl(Control* control);
  // A child-window id for a new control.
  int NextControlId() { return nextId_++; }

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void ApplyFont();
  void RestoreFocus();

  BorderStyle border_;
  bool centered_;
  std::string fontName_;
  int fontHeight_;
  platform::win32::UniqueFont font_;
  std::vector<Control*> controls_;
  int nextId_ = 100;  // clear of IDOK, IDCANCEL and friends
  int modalResult_ = mrNone;
  bool modal_ = false;
  HWND lastFocus_ = nullptr;
};

// Measures texts in a form's font as Form::TextWidth and TextHeight do,
// through one device context for its whole life instead of one per text.
// It keeps the font the form had when the meter was made: let it go before
// the form's font changes.
class TextMeter {
 public:
  explicit TextMeter(Form& form);
  TextMeter(const TextMeter&) = delete;
  TextMeter& operator=(const TextMeter&) = delete;

  SIZE Extent(const std::string& text) const;
  int Width(const std::string& text) const { return Extent(text).cx; }
  int Height(const std::string& text) const { return Extent(text).cy; }
  // True only when `text` is sure to be no wider than `width`, told from
  // the widths of its characters (each measured once per meter) instead of
  // measuring the text. False whenever it cannot tell, and always in a font
  // whose code page has characters of more than one byte.
  bool NoWiderThan(const std::string& text, int width);

 private:
  platform::win32::WindowDc dc_;
  std::optional<platform::win32::SelectGuard> font_;
  // The width of each byte drawn alone, -1 until needed; empty when the
  // font's code page has characters of more than one byte.
  std::vector<int> charWidths_;
};

}  // namespace toolkit
