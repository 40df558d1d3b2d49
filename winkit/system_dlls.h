// The programs run with administrator rights from folders that others can write (a downloads
// folder, an install folder on a second drive): a DLL of a system name placed beside them must
// never be loaded. Part of the small Win32 toolkit.
#pragma once

namespace winkit {

// Restricts the DLL search of this process to the system folder. The first call of each
// program's entry, before any window, COM or shell call (each loads DLLs by name). Where the
// system lacks SetDefaultDllDirectories (Vista and 7 without its update), the current folder
// at least is taken out of the search.
void UseSystemDllsOnly();

}  // namespace winkit
