// How long the failure summary takes to open over a long failure list:
// creating the dialog, filling and sizing the list, showing and painting it.
//   bench_summary.exe [lines] [rounds]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/RunData.h"
#include "platform/toolkit/Application.h"
#include "summary/ui/uSumary.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeServices.h"

namespace {

app::TFailList MakeFailList(int lines) {
  app::TFailList list;
  // "Arquivos que não puderam ser apagados:"
  list.Add("Arquivos que n\343o puderam ser apagados:");
  char text[200];
  for (int i = 1; i < lines; ++i) {
    std::snprintf(text, sizeof text, "    C:\\Program Files\\Exemplos Kestrivon\\Planilha Demo\\dados\\%03d\\arquivo%05d.dat",
                  i / 100, i);
    auto data = std::make_unique<app::TFailData>();
    data->Kind = app::kFailFile;
    list.Add(text, std::move(data));
  }
  return list;
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

double OpenOnce(int lines) {
  app::TFailList list = MakeFailList(lines);
  fakes::FakeFileSystem fs;
  fakes::FakeMessageBox box;
  fakes::FakeLocale locale;
  const auto start = std::chrono::steady_clock::now();
  {
    TfmSumary dialog(nullptr, list, fs, box, locale);
    dialog.Show();  // runs FormShow: fills and sizes the list
    UpdateWindow(dialog.Handle());
    Pump();
    const auto shown = std::chrono::steady_clock::now();
    if (static_cast<int>(SendMessageA(dialog.DBox.Handle(), LB_GETCOUNT, 0, 0)) != lines) {
      std::fprintf(stderr, "the list does not hold %d lines\n", lines);
      std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(shown - start).count();
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  toolkit::Application application;
  application.SetTitle("bench");
  std::printf("summary dialog opening over %d lines, %d rounds (create, fill, size, show, paint)\n", lines, rounds);
  std::vector<double> times;
  for (int r = 0; r < rounds; ++r) times.push_back(OpenOnce(lines));
  std::sort(times.begin(), times.end());
  std::printf("best %.1f ms, median %.1f ms\n", times.front(), times[times.size() / 2]);
  const double small = OpenOnce(10);
  std::printf("for comparison, 10 lines: %.1f ms\n", small);
  return 0;
}
