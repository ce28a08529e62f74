// In-memory fake of the registry below HKEY_LOCAL_MACHINE, for native tests.
#pragma once

#include "win32.h"

void FakeRegistryReset();
// Creates a key (path below HKEY_LOCAL_MACHINE, backslash-separated, case-insensitive).
void FakeRegistryCreateKey(const char* path);
bool FakeRegistryKeyExists(const char* path);
// Sets / reads a value; the type is stored as given.
void FakeRegistrySetValue(const char* path, const char* name, DWORD type, const void* data,
                          DWORD size);
bool FakeRegistryGetDword(const char* path, const char* name, DWORD* value, DWORD* type = nullptr);
int FakeRegistryValueCount(const char* path);
// Total number of registry calls made (any function), for "no access" tests.
int FakeRegistryCallCount();
