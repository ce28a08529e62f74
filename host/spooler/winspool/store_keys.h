// Inside the printer store: its registry keys and the lock that orders writers of every process.
#pragma once

#include <windows.h>

#include <string>

#include "printer_store.h"

// Every bitness sees the one 64-bit view: a 32-bit reader and a 64-bit qvlspool share printers.
const REGSAM STORE_VIEW = KEY_WOW64_64KEY;

// The store's named mutex, held around every change that reads before it writes.
void StoreEnter();
void StoreLeave();

// A key below the store's root ("" the root itself); NULL when it is missing (create false).
HKEY StoreKey(const std::wstring& path, bool create);
// The key of a printer, or of a key below it (sub: L"Data", L"Jobs\\7", ...).
std::wstring PrinterPath(const WCHAR* printer, const WCHAR* sub = L"");
// true when p is a process running now (not a later one given its id).
bool StoreProcessAlive(const StoreProcess& p);
// This process.
StoreProcess StoreSelf();
// The printer is served now: its owner runs. owner may be NULL.
bool StorePrinterServed(HKEY printerKey, StoreProcess* owner);
// A REG_DWORD of key (fallback when missing).
DWORD StoreDword(HKEY key, const WCHAR* value, DWORD fallback);
// Tells the printer's change watchers of change (PRINTER_CHANGE_ bits), store_watch.cpp.
void StoreSignal(const WCHAR* printer, DWORD change);
