#pragma once
// One uninstall run over the fake services, for tests that need the whole
// set: the file system may be another (the real one in Windows tests).
#include "app/RunData.h"
#include "app/UninstallRun.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeMainView.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"

namespace fakes {

template <class FileSystem = FakeFileSystem>
struct FakeRun {
  FileSystem fs;
  FakeRegistry registry;
  FakeMessageBox box;
  FakeLocale locale;
  FakeModule module;
  FakeNamedLock lock;
  FakeNamedLock claim;
  FakeMainView view;
  app::PersonHost person = PersonAt(box, view);
  app::TRunData data;
  app::Services services{fs, registry, box, locale, module, lock, claim};
  app::UninstallRun run{services, person, view, data};
};

}  // namespace fakes
