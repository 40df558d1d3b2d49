// plant.dll: a DLL that tests place beside a program under the name of a system DLL. When any
// process loads it, it leaves "<its own path>.loaded" holding that process's program path, and
// does nothing else (it exports nothing).
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH + 8] = {};
  wchar_t program[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  lstrcatW(path, L".loaded");
  const DWORD programLength = GetModuleFileNameW(nullptr, program, MAX_PATH);
  HANDLE marker =
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(marker, program, programLength * sizeof(wchar_t), &written, nullptr);
    CloseHandle(marker);
  }
  return TRUE;
}
