// The programs run with administrator rights from folders that others can write (a downloads
// folder, an install folder on a second drive): a DLL of a system name placed beside them must
// never be loaded. Part of the small Win32 toolkit.
#pragma once
#include <windows.h>

namespace winkit {

// Restricts the DLL search of this process to the system folder. The first call of each
// program's entry, before any window, COM or shell call (each loads DLLs by name). Where the
// system lacks SetDefaultDllDirectories (Vista and 7 without its update), the current folder
// at least is taken out of the search. The theme and drawing libraries, which the system's DLLs
// load by name later, are loaded from the system folder at once.
void UseSystemDllsOnly();

// Loads a DLL, and the DLLs it imports, from the system folder only; null when it cannot be.
HMODULE LoadSystemDll(const wchar_t* name);

// Loads the common controls (version 6, which each program's manifest names) from the system
// and registers `classes` (ICC_ flags). They are loaded here, after the entry restricted the
// search, rather than by the loader before the program's first line: then a DLL of a system
// name that they load would be looked for beside the program first. False when they cannot be.
bool InitCommonControlsFromSystem(unsigned long classes);

}  // namespace winkit
