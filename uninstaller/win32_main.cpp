// Windows entry of Uninstall.exe: one window, one thread, no command line.
#include <windows.h>

#include "platform/win32/win32_platform.h"
#include "ui/win32/win32_backend.h"
#include "uninstaller/frmuninstall.h"
#include "winkit/handles.h"
#include "winkit/system_dlls.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  winkit::UseSystemDllsOnly();
  // COM is not needed by the removal; starting it keeps the shell calls on a known footing.
  const winkit::ComSession com;
  plat::Win32Platform system;
  ui::Win32Backend backend;
  ui::App app(backend);
  app.SetTitle("软件卸载");
  Tfrmuninstall frmuninstall(system);
  app.Run();
  return 0;
}
