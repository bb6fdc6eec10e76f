// Registry over advapi32. A RegKey is the HKEY itself.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

struct RegKeyRecord;

namespace {

RegKey windowsWrapKey(HKEY key) { return reinterpret_cast<RegKey>(key); }

HKEY windowsKeyOf(RegKey key) { return reinterpret_cast<HKEY>(key); }

HKEY windowsHive(RegHive hive) {
  switch (hive) {
    case RegHive::LocalMachine:
      return HKEY_LOCAL_MACHINE;
  }
  return HKEY_LOCAL_MACHINE;
}

}  // namespace

long regOpenKey(RegHive hive, const char* path, uint32_t access, RegKey* key) {
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  *key = nullptr;
  HKEY opened = nullptr;
  const LONG result =
      ::RegOpenKeyExA(windowsHive(hive), path, 0, static_cast<REGSAM>(access), &opened);
  if (result == ERROR_SUCCESS) *key = windowsWrapKey(opened);
  return result;
}

long regCreateKey(RegHive hive, const char* path, uint32_t access, RegKey* key) {
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  *key = nullptr;
  HKEY created = nullptr;
  const LONG result =
      ::RegCreateKeyExA(windowsHive(hive), path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        static_cast<REGSAM>(access), nullptr, &created, nullptr);
  if (result == ERROR_SUCCESS) *key = windowsWrapKey(created);
  return result;
}

long regQueryValue(RegKey key, const char* name, uint32_t* type, uint8_t* data,
                   uint32_t* size) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  DWORD valueType = REG_NONE;
  DWORD dataSize = size != nullptr ? static_cast<DWORD>(*size) : 0;
  const LONG result = ::RegQueryValueExA(windowsKeyOf(key), name, nullptr,
                                         type != nullptr ? &valueType : nullptr, data,
                                         size != nullptr ? &dataSize : nullptr);
  if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
    if (type != nullptr) *type = static_cast<uint32_t>(valueType);
    if (size != nullptr) *size = static_cast<uint32_t>(dataSize);
  }
  return result;
}

long regSetValue(RegKey key, const char* name, uint32_t type, const uint8_t* data,
                 uint32_t size) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  return ::RegSetValueExA(windowsKeyOf(key), name, 0, static_cast<DWORD>(type), data,
                          static_cast<DWORD>(size));
}

long regCloseKey(RegKey key) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  return ::RegCloseKey(windowsKeyOf(key));
}

}  // namespace platform
