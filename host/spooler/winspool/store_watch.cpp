// The printers' change watchers in the store: a value per watcher under the printer's Watchers,
// named as the watcher's event, holding its filter and the changes not yet taken.
#include <windows.h>
#include <winspool.h>

#include "printer_store.h"
#include "store_keys.h"

namespace {

struct Watch {
  DWORD filter;
  DWORD pending;
};

bool ReadWatch(HKEY key, const WCHAR* event, Watch* w) {
  DWORD type = 0, size = sizeof *w;
  return RegQueryValueExW(key, event, NULL, &type, reinterpret_cast<BYTE*>(w), &size) ==
             ERROR_SUCCESS &&
         type == REG_BINARY && size == sizeof *w;
}

void WriteWatch(HKEY key, const WCHAR* event, const Watch& w) {
  RegSetValueExW(key, event, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&w), sizeof w);
}

const uint32_t MAX_WATCHERS = 32;

}  // namespace

bool StoreWatch(const WCHAR* printer, const WCHAR* event, DWORD filter) {
  StoreEnter();
  HKEY key = StoreKey(PrinterPath(printer, L"Watchers"), true);
  if (key) {
    WriteWatch(key, event, Watch{filter, 0});
    RegCloseKey(key);
  }
  StoreLeave();
  return key != NULL;
}

DWORD StoreWatchTake(const WCHAR* printer, const WCHAR* event) {
  StoreEnter();
  HKEY key = StoreKey(PrinterPath(printer, L"Watchers"), false);
  Watch w = {0, 0};
  if (key && ReadWatch(key, event, &w) && w.pending) WriteWatch(key, event, Watch{w.filter, 0});
  if (key) RegCloseKey(key);
  StoreLeave();
  return w.pending;
}

void StoreUnwatch(const WCHAR* printer, const WCHAR* event) {
  StoreEnter();
  HKEY key = StoreKey(PrinterPath(printer, L"Watchers"), false);
  if (key) {
    RegDeleteValueW(key, event);
    RegCloseKey(key);
  }
  StoreLeave();
}

void StoreSignal(const WCHAR* printer, DWORD change) {
  StoreEnter();
  HKEY key = StoreKey(PrinterPath(printer, L"Watchers"), false);
  WCHAR events[MAX_WATCHERS][MAX_PATH];
  uint32_t count = 0;
  for (DWORD i = 0; key && count < MAX_WATCHERS; ++i) {
    DWORD room = MAX_PATH;
    if (RegEnumValueW(key, i, events[count], &room, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
    ++count;
  }
  for (uint32_t i = 0; i < count; ++i) {
    Watch w;
    if (!ReadWatch(key, events[i], &w) || !(w.filter & change)) continue;
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, events[i]);
    if (event == NULL) {  // its reader has gone
      RegDeleteValueW(key, events[i]);
      continue;
    }
    WriteWatch(key, events[i], Watch{w.filter, w.pending | (w.filter & change)});
    SetEvent(event);
    CloseHandle(event);
  }
  if (key) RegCloseKey(key);
  StoreLeave();
}
