// und_demo_driver: plays the person in front of the screen for the demo when
// nobody is there. It starts desinstalador.exe, reports every box and window
// it meets, answers them (Yes to the confirmation, leave everything as it is
// in the summary, OK elsewhere) and asks the shell script beside it for a
// screenshot at each interesting moment.
//
//   und_demo_driver.exe <program> <argument> <shot folder or ->
//
// Screenshots are taken on the Linux side: for a shot named N the driver
// writes N.want (holding "x y width height" of the area to keep) into the shot
// folder and waits for N.done. Output is UTF-8 for the terminal.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/robot/Robot.h"

namespace {

std::string Utf8(const std::string& ansi) {
  if (ansi.empty()) return {};
  int n = MultiByteToWideChar(1252, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(1252, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n);
  int m = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(m, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, out.data(), m, nullptr, nullptr);
  return out;
}

// Message texts break lines with LF CR; show them as plain lines.
std::string Readable(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && i + 1 < text.size() && text[i + 1] == '\r') ++i;
    out += text[i] == '\r' ? '\n' : text[i];
  }
  return Utf8(out);
}

void Say(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

const char* ButtonName(int id) {
  switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancelar";
    case IDYES: return "Sim";
    case IDNO: return "N\303\243o";  // "Não" in UTF-8 for the terminal
    default: return "?";
  }
}

class Shots {
 public:
  explicit Shots(std::string folder) : folder_(std::move(folder)) {
    if (!folder_.empty() && folder_.back() != '\\') folder_ += '\\';
  }

  // Asks for a picture of the process's windows and waits until it is taken.
  void Take(const robot::Process& p, const std::string& name) {
    if (folder_.empty()) return;
    Sleep(400);  // let the newest window finish painting
    RECT all{};
    bool any = false;
    for (HWND w : p.TopLevelWindows()) {
      RECT r;
      if (!GetWindowRect(w, &r)) continue;
      if (!any) all = r; else UnionRect(&all, &all, &r);
      any = true;
    }
    int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    if (!any) all = RECT{0, 0, screenW, screenH};
    all.left = std::max<LONG>(0, all.left - 12);
    all.top = std::max<LONG>(0, all.top - 12);
    all.right = std::min<LONG>(screenW, all.right + 12);
    all.bottom = std::min<LONG>(screenH, all.bottom + 12);
    std::string geometry = std::to_string(all.left) + " " + std::to_string(all.top) + " " +
                           std::to_string(all.right - all.left) + " " + std::to_string(all.bottom - all.top) + "\n";
    std::string done = folder_ + name + ".done";
    DeleteFileA(done.c_str());
    robot::WriteFileBytes(folder_ + name + ".want", geometry);
    for (int i = 0; i < 300 && !robot::FileExists(done); ++i) Sleep(50);
    const bool answered = robot::FileExists(done);
    DeleteFileA(done.c_str());
    if (answered && robot::FileExists(folder_ + name + ".png")) {
      Say("   [captura " + name + ".png]");
    } else {
      DeleteFileA((folder_ + name + ".want").c_str());
      Say("   [captura " + name + " n\303\243o foi feita]");
    }
  }

 private:
  std::string folder_;
};

// Top-level windows of the process that are neither the main window, nor a
// message box, nor the application window (the taskbar button, never seen
// on screen): the failure summary.
HWND FindOtherWindow(const robot::Process& p, HWND main) {
  for (HWND w : p.TopLevelWindows()) {
    RECT r{};
    if (w == main || robot::ClassName(w) == "#32770" || !GetWindowRect(w, &r) || IsRectEmpty(&r)) continue;
    return w;
  }
  return nullptr;
}

void DescribeMainWindow(HWND main) {
  for (const auto& c : robot::ListControls(main)) {
    if (c.className == "msctls_progress32") {
      Say("   barra de progresso: " + std::to_string(robot::BarPosition(c.hwnd)) + "%");
    } else if (!c.text.empty()) {
      Say("   " + Readable(c.text));
    }
  }
}

// While the removal runs: as soon as the bar has moved, hold the program for a
// moment so that the picture shows the window mid-way.
void CatchProgress(robot::Process& p, HWND main, Shots& shots) {
  HWND bar = nullptr;
  for (const auto& c : robot::ListControls(main)) {
    if (c.className == "msctls_progress32") bar = c.hwnd;
  }
  if (!bar) return;
  DWORD start = GetTickCount();
  while (p.running() && GetTickCount() - start < 20000) {
    int pos = robot::BarPosition(bar);
    if (pos > 0 && pos < 100) {
      Say("-- Janela de progresso:");
      DescribeMainWindow(main);
      // Held, the program can answer no message: the picture needs none.
      if (SuspendThread(p.mainThread()) != DWORD(-1)) {
        shots.Take(p, "2-progresso");
        ResumeThread(p.mainThread());
      }
      return;
    }
    if (pos >= 100 || FindOtherWindow(p, main)) return;
    for (HWND w : p.TopLevelWindows()) {
      if (robot::ClassName(w) == "#32770") return;
    }
    Sleep(2);
  }
}

void HandleSummary(robot::Process& p, HWND dialog, Shots& shots) {
  Say("-- Janela: \"" + Readable(robot::WindowText(dialog)) + "\"");
  HWND leave = nullptr;
  for (const auto& c : robot::ListControls(dialog)) {
    std::string cls = c.className;
    std::transform(cls.begin(), cls.end(), cls.begin(), [](unsigned char ch) { return char(std::tolower(ch)); });
    if (cls.find("listbox") != std::string::npos) {
      for (const auto& line : robot::ListLines(c.hwnd)) Say("   | " + Readable(line));
    }
    if (cls == "button") leave = c.hwnd;
  }
  shots.Take(p, "3-sumario");
  Say("   resposta: Deixar como est\303\241");
  if (leave) {
    robot::PostClick(leave);
  } else {
    PostMessageA(dialog, WM_CLOSE, 0, 0);
  }
  for (int i = 0; i < 200 && IsWindow(dialog) && IsWindowVisible(dialog); ++i) Sleep(50);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: und_demo_driver <program> <argument> <shot folder or ->\n");
    return 2;
  }
  Shots shots(std::string(argv[3]) == "-" ? std::string() : std::string(argv[3]));
  robot::Process p = robot::Process::Start(argv[1], std::string(argv[2]));
  if (!p.started()) {
    Say("could not start " + std::string(argv[1]));
    return 2;
  }
  HWND main = nullptr;
  bool summarySeen = false;
  int boxNumber = 0;
  DWORD start = GetTickCount();
  while (p.running() && GetTickCount() - start < 300000) {
    if (!main) main = p.WaitForMainWindow(100);
    if (main && !summarySeen) {
      if (HWND dialog = FindOtherWindow(p, main)) {
        summarySeen = true;
        HandleSummary(p, dialog, shots);
        continue;
      }
    }
    auto box = p.WaitForBox(100);
    if (!box) continue;
    ++boxNumber;
    Say("-- Caixa \"" + Readable(box->caption) + "\":");
    Say("   " + Readable(box->text));
    int answer = box->defaultButton ? box->defaultButton : box->buttons.empty() ? IDOK : box->buttons.front();
    std::string shot;
    bool confirmation = false;
    if (std::count(box->buttons.begin(), box->buttons.end(), IDYES) &&
        box->text.find("desinstalar") != std::string::npos) {
      answer = IDYES;  // go ahead with the uninstallation
      shot = "1-confirmacao";
      confirmation = true;
    } else if (std::count(box->buttons.begin(), box->buttons.end(), IDNO)) {
      answer = IDNO;  // delete nothing beyond what the run removed
    } else if (box->caption == "T\351rmino") {  // "Término"
      shot = "4-termino";
    } else {
      shot = "caixa-" + std::to_string(boxNumber);
    }
    if (!shot.empty()) shots.Take(p, shot);
    Say(std::string("   resposta: ") + ButtonName(answer));
    if (!p.Press(*box, answer)) Say("   (a caixa n\303\243o fechou)");
    if (confirmation && main) CatchProgress(p, main, shots);
  }
  auto code = p.WaitForExit(10000);
  if (!code) {
    Say("-- o programa n\303\243o terminou; encerrado pelo demo");
    p.Kill();
    return 1;
  }
  Say("-- desinstalador.exe terminou com o c\303\263digo " + std::to_string(*code) + "; caixas mostradas: " +
      std::to_string(p.boxes().size()));
  return 0;
}
