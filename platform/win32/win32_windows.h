// <windows.h> for the platform sources, without the A/W macros whose names the Platform
// interface shares (DeleteFile, RegCreateKey, ShellExecute, ...): with them, this code would
// define DeleteFileA where the interface declares DeleteFile. The W functions are named
// explicitly everywhere here.
#pragma once
#include <windows.h>
// (the shell and DDE headers need <windows.h> first)
#include <ddeml.h>
#include <objidl.h>
#include <shellapi.h>
// Before the shell's interfaces are declared, so that IShellDispatch2's method keeps its name.
#undef ShellExecute
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#undef DeleteFile
#undef RegCreateKey
#undef RegOpenKey
#undef RegEnumKey
#undef RegDeleteKey
#undef ShellExecute
#undef RegQueryValue
#undef RegSetValue
#undef RegDeleteValue
