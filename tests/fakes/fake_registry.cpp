// In-memory registry below HKEY_LOCAL_MACHINE: keys by path (case-insensitive), values by name.
#include "fake_registry.h"

#include <string.h>
#include <strings.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct CaseLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  }
};

struct Value {
  DWORD type;
  std::vector<BYTE> data;
};

struct Key {
  std::map<std::string, Value, CaseLess> values;
};

std::mutex lock;
std::map<std::string, Key, CaseLess> keys;
std::map<HKEY, std::string> openKeys;
uintptr_t nextKey = 0x1000;
int calls = 0;

}  // namespace

void FakeRegistryReset() {
  std::lock_guard<std::mutex> guard(lock);
  keys.clear();
  openKeys.clear();
  calls = 0;
}

void FakeRegistryCreateKey(const char* path) {
  std::lock_guard<std::mutex> guard(lock);
  keys[path];
}

bool FakeRegistryKeyExists(const char* path) {
  std::lock_guard<std::mutex> guard(lock);
  return keys.count(path) != 0;
}

void FakeRegistrySetValue(const char* path, const char* name, DWORD type, const void* data,
                          DWORD size) {
  std::lock_guard<std::mutex> guard(lock);
  const BYTE* bytes = static_cast<const BYTE*>(data);
  keys[path].values[name] = Value{type, std::vector<BYTE>(bytes, bytes + size)};
}

bool FakeRegistryGetDword(const char* path, const char* name, DWORD* value, DWORD* type) {
  std::lock_guard<std::mutex> guard(lock);
  auto k = keys.find(path);
  if (k == keys.end()) return false;
  auto v = k->second.values.find(name);
  if (v == k->second.values.end() || v->second.data.size() != 4) return false;
  memcpy(value, v->second.data.data(), 4);
  if (type) *type = v->second.type;
  return true;
}

int FakeRegistryValueCount(const char* path) {
  std::lock_guard<std::mutex> guard(lock);
  auto k = keys.find(path);
  return k == keys.end() ? 0 : static_cast<int>(k->second.values.size());
}

int FakeRegistryCallCount() {
  std::lock_guard<std::mutex> guard(lock);
  return calls;
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
  std::lock_guard<std::mutex> guard(lock);
  calls++;
  if (key != HKEY_LOCAL_MACHINE || !subKey || !keys.count(subKey)) return ERROR_FILE_NOT_FOUND;
  HKEY h = reinterpret_cast<HKEY>(nextKey++);
  openKeys[h] = subKey;
  *result = h;
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  std::lock_guard<std::mutex> guard(lock);
  calls++;
  auto open = openKeys.find(key);
  if (open == openKeys.end()) return 6;
  Key& k = keys[open->second];
  auto v = k.values.find(name ? name : "");
  if (v == k.values.end()) return ERROR_FILE_NOT_FOUND;
  DWORD need = static_cast<DWORD>(v->second.data.size());
  if (type) *type = v->second.type;
  if (data && size && *size < need) {
    *size = need;
    return ERROR_MORE_DATA;
  }
  if (data && size) memcpy(data, v->second.data.data(), need);
  if (size) *size = need;
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  std::lock_guard<std::mutex> guard(lock);
  calls++;
  auto open = openKeys.find(key);
  if (open == openKeys.end()) return 6;
  keys[open->second].values[name ? name : ""] = Value{type, std::vector<BYTE>(data, data + size)};
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  std::lock_guard<std::mutex> guard(lock);
  calls++;
  return openKeys.erase(key) ? ERROR_SUCCESS : 6;
}
