// Registry keys: the RegKey values are the HKEYs themselves.
#include "platform/win32/win32_windows.h"

#include "platform/win32/win32_platform.h"
#include "winkit/handles.h"
#include "winkit/text.h"

namespace plat {

using winkit::Narrow;
using winkit::Widen;

static_assert(sizeof(RegKey) == sizeof(HKEY));

namespace {

HKEY ToHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }

bool IsPredefined(RegKey key) {
  const HKEY k = ToHkey(key);
  return k == HKEY_CLASSES_ROOT || k == HKEY_CURRENT_USER || k == HKEY_LOCAL_MACHINE ||
         k == HKEY_USERS || k == HKEY_PERFORMANCE_DATA || k == HKEY_CURRENT_CONFIG ||
         k == HKEY_DYN_DATA;
}

}  // namespace

RegKey Win32Platform::RegCreateKey(RegKey parent, const std::string& path) {
  HKEY key = nullptr;
  const LONG status =
      RegCreateKeyExW(ToHkey(parent), Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return status == ERROR_SUCCESS ? reinterpret_cast<RegKey>(key) : 0;
}

RegKey Win32Platform::RegOpenKey(RegKey parent, const std::string& path) {
  HKEY key = nullptr;
  const LONG status = RegOpenKeyExW(ToHkey(parent), Widen(path).c_str(), 0, KEY_ALL_ACCESS, &key);
  return status == ERROR_SUCCESS ? reinterpret_cast<RegKey>(key) : 0;
}

RegKey Win32Platform::RegCreateSubKey(RegKey parent, const std::string& name, bool& created) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  const LONG status =
      RegCreateKeyExW(ToHkey(parent), Widen(name).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, &disposition);
  if (status != ERROR_SUCCESS) return 0;
  created = disposition == REG_CREATED_NEW_KEY;
  return reinterpret_cast<RegKey>(key);
}

Lookup Win32Platform::RegQueryValue(RegKey key, const std::string& name, RegValue& value) {
  const std::wstring wide = Widen(name);
  // The value may change between asking its size and reading it: ask again until it fits.
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExW(ToHkey(key), wide.c_str(), nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return Lookup::Missing;
    if (status != ERROR_SUCCESS) return Lookup::Failed;
    std::string data(size, '\0');
    status = RegQueryValueExW(ToHkey(key), wide.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(data.data()), &size);
    if (status == ERROR_MORE_DATA) continue;
    if (status == ERROR_FILE_NOT_FOUND) return Lookup::Missing;
    if (status != ERROR_SUCCESS) return Lookup::Failed;
    data.resize(size);
    value = RegValue{type, std::move(data)};
    return Lookup::Found;
  }
  return Lookup::Failed;
}

bool Win32Platform::RegSetValue(RegKey key, const std::string& name, const RegValue& value) {
  return RegSetValueExW(ToHkey(key), Widen(name).c_str(), 0, value.type,
                        reinterpret_cast<const BYTE*>(value.data.data()),
                        static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
}

bool Win32Platform::RegDeleteValue(RegKey key, const std::string& name) {
  return RegDeleteValueW(ToHkey(key), Widen(name).c_str()) == ERROR_SUCCESS;
}

bool Win32Platform::RegSetString(RegKey key, const std::string& name, const std::string& value) {
  const std::wstring text = Widen(value);
  const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(ToHkey(key), Widen(name).c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text.c_str()), bytes) == ERROR_SUCCESS;
}

bool Win32Platform::RegQueryInfo(RegKey key, std::uint32_t& subkeys, std::uint32_t& maxNameLen) {
  DWORD count = 0;
  DWORD longest = 0;
  const LONG status = RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, &count, &longest,
                                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return false;
  subkeys = count;
  maxNameLen = longest;
  return true;
}

std::optional<std::string> Win32Platform::RegEnumKey(RegKey key, std::uint32_t index) {
  // Key names are at most 255 characters.
  wchar_t name[256];
  DWORD length = 256;
  const LONG status =
      RegEnumKeyExW(ToHkey(key), index, name, &length, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return Narrow(std::wstring_view(name, length));
}

bool Win32Platform::RegCountEntries(RegKey key, std::uint32_t& subkeys, std::uint32_t& values) {
  DWORD keys = 0;
  DWORD count = 0;
  const LONG status = RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, &keys, nullptr,
                                       nullptr, &count, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return false;
  subkeys = keys;
  values = count;
  return true;
}

bool Win32Platform::RegDeleteKey(RegKey parent, const std::string& path) {
  return RegDeleteKeyW(ToHkey(parent), Widen(path).c_str()) == ERROR_SUCCESS;
}

void Win32Platform::RegCloseKey(RegKey key) {
  if (!IsPredefined(key)) winkit::Key::Drop(ToHkey(key));
}

}  // namespace plat
