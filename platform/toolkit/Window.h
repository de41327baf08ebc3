#pragma once
// Base of every toolkit window: owns one HWND bound to its object, runs the
// one window procedure of the toolkit (the only place that catches), and
// gives child notifications (WM_COMMAND, WM_DRAWITEM, WM_MEASUREITEM,
// WM_CTLCOLOR*, ...) to the child control's object first.
#include <windows.h>

#include <string>

namespace toolkit {

class Form;
class PopupMenu;

class Window {
 public:
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Null once the window has been destroyed.
  HWND Handle() const { return hwnd_; }
  // The object bound to a toolkit window of this process; null for any
  // other window.
  static Window* FromHandle(HWND hwnd);

  // The form this window belongs to (a form answers itself).
  virtual Form& OwnerForm() = 0;

  std::string Caption() const;
  virtual void SetCaption(const std::string& text);

  bool Visible() const;
  virtual void SetVisible(bool visible);
  bool Enabled() const;
  void SetEnabled(bool enabled);

  int ClientWidth() const;
  int ClientHeight() const;

  // Paints what is invalid in the window and its children, now.
  void Update();
  // Invalidates the window and its children and paints them at once.
  void Repaint();

  // The menu that opens on the context-menu gesture over this window.
  void SetPopupMenu(PopupMenu* menu) { popup_ = menu; }
  PopupMenu* GetPopupMenu() const { return popup_; }

  // A child control's bounds changed (scroll boxes follow their children).
  virtual void ChildBoundsChanged() {}

  // Destroys the window (children first); the object stays.
  void DestroyHandle();

  // Marks the window with `name` (a window property), so that another
  // process can find it (BringMarkedToFront); the mark goes with the window.
  void Mark(const std::string& name);

 protected:
  Window() = default;

  // The window's own handling; the default gives reflected notifications
  // to the child, opens the popup menu and calls the base procedure.
  virtual LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  // A notification the parent received from this control (msg is the
  // parent's message: WM_COMMAND, WM_DRAWITEM, WM_MEASUREITEM,
  // WM_DELETEITEM, WM_COMPAREITEM, WM_CTLCOLOR*, WM_NOTIFY). True when
  // handled; `result` is then the parent's answer.
  virtual bool OnReflected(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // After WM_NCDESTROY; the handle is already gone.
  virtual void OnHandleDestroyed() {}

  // The procedure of the window's class (DefWindowProcA, or the system
  // class's procedure for a subclassed or superclassed window).
  LRESULT CallBase(UINT msg, WPARAM wParam, LPARAM lParam);

  // Registers (once) a class of the toolkit's own that runs Proc.
  static const char* OwnClass(const char* name, UINT style, HBRUSH background);
  // Registers (once) a superclass of a system class that runs Proc; its
  // base procedure is the system class's, `clearStyle` is taken off the
  // class style. The original procedure is returned through `base`.
  static const char* Superclass(const char* systemClass, const char* name, UINT clearStyle,
                                WNDPROC* base);

  // Creates a window of a class whose procedure is Proc (own or superclass);
  // the object is bound from the first message on. Throws platform::Error
  // when the window cannot be created.
  void CreateBound(DWORD exStyle, const char* className, const std::string& text, DWORD style,
                   int x, int y, int w, int h, HWND parent, HMENU idOrMenu, WNDPROC base);
  // Creates a window of a system class and subclasses it (WM_CREATE and
  // earlier are not seen). Throws platform::Error on failure.
  void CreateSubclassed(DWORD exStyle, const char* className, const std::string& text, DWORD style,
                        int x, int y, int w, int h, HWND parent, HMENU idOrMenu);

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  // True when the own or class procedure of `hwnd`, a window of this
  // process, is Proc: a toolkit window.
  static bool RunsProc(HWND hwnd);
  // The object in a toolkit window's user data; null before it is bound.
  static Window* Bound(HWND hwnd);
  void Attach(HWND hwnd);
  void Detach();
  bool ReflectToChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

  HWND hwnd_ = nullptr;
  WNDPROC base_ = DefWindowProcA;
  bool subclassed_ = false;
  PopupMenu* popup_ = nullptr;
  std::string mark_;
  static inline Window* creating_ = nullptr;
};

// Brings the top-level window that another process marked with `name`
// (Window::Mark) to the front, with the box it shows, if any; false when
// no window carries the mark.
bool BringMarkedToFront(const std::string& name);

}  // namespace toolkit
