// Windows entry of Setup.exe.
#include <windows.h>

#include <memory>

#include "installer/run_once.h"
#include "installer/unit_main.h"
#include "installer/unit_schedule.h"
#include "platform/win32/win32_platform.h"
#include "ui/win32/win32_backend.h"
#include "winkit/system_dlls.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  winkit::UseSystemDllsOnly();
  plat::Win32Platform system;
  RunOnce guard(system);     // closed last, after every window is gone
  ui::Win32Backend backend;  // starts COM on this thread for the shell link object
  ui::App app(backend);
  std::unique_ptr<TFormain> backdrop;
  std::unique_ptr<TFormSchedule> wizard;
  if (!ActivatePreviousInstance(system, app.Handle())) {
    app.SetTitle("VantaSetup");
    // The backdrop comes first: it unpacks the config that the wizard reads when created.
    backdrop = std::make_unique<TFormain>(system);
    Formain = backdrop.get();
    wizard = std::make_unique<TFormSchedule>(system);
    FormSchedule = wizard.get();
  }
  app.Run();
  wizard.reset();
  FormSchedule = nullptr;
  backdrop.reset();  // waits for its worker thread
  SetupRegistry.reset();
  return 0;
}
