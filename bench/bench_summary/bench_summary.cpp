// How long the failure summary takes to open over long failure lists:
// creating the dialog, filling and sizing the list, showing and painting it.
//   bench_summary.exe [rounds [lines ...]]    (5 rounds of 10000 and 100000)
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
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::max(1, std::atoi(argv[i])));
  if (sizes.empty()) sizes = {10000, 100000};
  toolkit::Application application;
  application.SetTitle("bench");
  std::printf("summary dialog opening, %d rounds each (create, fill, size, show, paint)\n", rounds);
  for (const int lines : sizes) {
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) times.push_back(OpenOnce(lines));
    std::sort(times.begin(), times.end());
    std::printf("%d lines: best %.1f ms, median %.1f ms\n", lines, times.front(), times[times.size() / 2]);
  }
  const double small = OpenOnce(10);
  std::printf("for comparison, 10 lines: %.1f ms\n", small);
  return 0;
}
