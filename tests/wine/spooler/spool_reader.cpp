// A user's program reading the stand-in's printers through winspool.drv, for nt_cases.py: each
// command-line step one call (or a short wait) and one JSON line of what it got.
//
//   spool_reader STEP...
//   await NAME MS          OpenPrinterW(NAME) until it succeeds; the handle closed again
//   enum FLAGS LEVEL       EnumPrintersW: asked with no buffer first, then with the size needed
//   open NAME use|administer|default    the current handle from now on
//   get KEY VALUE          GetPrinterDataExW: with no room first, then with the size needed
//   set KEY VALUE N        SetPrinterDataExW, REG_DWORD N
//   jobs                   EnumJobsW level 1, every job
//   watch FILTER           FindFirstPrinterChangeNotification on the current handle
//   wait MS                until the notification is signalled; FindNextPrinterChangeNotification
//   gone MS                EnumPrintersW until it fails with RPC_S_SERVER_UNAVAILABLE
#include <windows.h>
#include <winspool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

HANDLE Printer = NULL;
HANDLE Change = INVALID_HANDLE_VALUE;

// JSON string of a wide text (non-ASCII as \u escapes).
std::string Json(const WCHAR* s) {
  std::string out = "\"";
  for (; s && *s; ++s) {
    char one[8];
    if (*s >= 0x20 && *s < 0x7F && *s != '"' && *s != '\\') {
      out += static_cast<char>(*s);
    } else {
      snprintf(one, sizeof one, "\\u%04x", static_cast<unsigned>(*s));
      out += one;
    }
  }
  return out + "\"";
}

std::wstring Wide(const char* s) {
  std::wstring w(MultiByteToWideChar(CP_UTF8, 0, s, -1, NULL, 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s, -1, &w[0], static_cast<int>(w.size()));
  w.resize(w.size() - 1);
  return w;
}

void Line(const char* call, BOOL ok, DWORD error, const std::string& more) {
  printf("{\"call\":\"%s\",\"result\":%d", call, ok ? 1 : 0);
  if (!ok) printf(",\"error\":%lu", error);
  printf("%s}\n", more.c_str());
  fflush(stdout);
}

void Enum(DWORD flags, DWORD level) {
  DWORD needed = 0, returned = 0;
  BOOL ok = EnumPrintersW(flags, NULL, level, NULL, 0, &needed, &returned);
  DWORD error = ok ? 0 : GetLastError();
  char more[96];
  snprintf(more, sizeof more, ",\"level\":%lu,\"first_error\":%lu,\"needed\":%lu", level, error,
           needed);
  std::string listed = more;
  std::vector<BYTE> buffer(needed + 1);  // an odd size: the strings still packed at the end
  if (error == ERROR_INSUFFICIENT_BUFFER) {
    ok = EnumPrintersW(flags, NULL, level, buffer.data(), needed + 1, &needed, &returned);
    error = ok ? 0 : GetLastError();
  }
  if (ok) {
    listed += ",\"printers\":[";
    for (DWORD i = 0; i < returned; ++i) {
      const WCHAR *name = NULL, *server = NULL;
      DWORD attributes = 0;
      if (level == 4) {
        const PRINTER_INFO_4W* p = reinterpret_cast<PRINTER_INFO_4W*>(buffer.data()) + i;
        name = p->pPrinterName, server = p->pServerName, attributes = p->Attributes;
      } else if (level == 2) {
        const PRINTER_INFO_2W* p = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data()) + i;
        name = p->pPrinterName, server = p->pServerName, attributes = p->Attributes;
      } else {
        name = reinterpret_cast<PRINTER_INFO_1W*>(buffer.data())[i].pName;
      }
      const BYTE* at = reinterpret_cast<const BYTE*>(name);
      const bool packed = at >= buffer.data() && at < buffer.data() + buffer.size();
      char tail[96];
      snprintf(tail, sizeof tail, ",\"attributes\":%lu,\"packed\":%d}", attributes, packed);
      listed += std::string(i ? "," : "") + "{\"name\":" + Json(name) +
                ",\"server\":" + (server ? Json(server) : "null") + tail;
    }
    listed += "]";
  }
  Line("EnumPrintersW", ok, error, listed);
}

void Open(const char* name, const char* access) {
  PRINTER_DEFAULTSW defaults = {NULL, NULL, 0};
  defaults.DesiredAccess = strcmp(access, "administer") == 0 ? PRINTER_ACCESS_ADMINISTER
                           : strcmp(access, "use") == 0      ? PRINTER_ACCESS_USE
                                                             : 0;
  std::wstring w = Wide(name);
  if (Printer) ClosePrinter(Printer);
  Printer = NULL;
  BOOL ok = OpenPrinterW(&w[0], &Printer, strcmp(access, "default") ? &defaults : NULL);
  Line("OpenPrinterW", ok, GetLastError(),
       ",\"name\":" + Json(w.c_str()) + ",\"access\":\"" + access + "\"");
}

void Get(const char* key, const char* value) {
  std::wstring k = Wide(key), v = Wide(value);
  DWORD type = 0, needed = 0;
  DWORD first = GetPrinterDataExW(Printer, k.c_str(), v.c_str(), &type, NULL, 0, &needed);
  std::vector<BYTE> data(needed + 1);
  DWORD error = first;
  if (first == ERROR_MORE_DATA)
    error = GetPrinterDataExW(Printer, k.c_str(), v.c_str(), &type, data.data(), needed, &needed);
  char more[128];
  int n = snprintf(more, sizeof more, ",\"first_error\":%lu,\"type\":%lu,\"needed\":%lu", first,
                   type, needed);
  std::string text(more, n);
  if (error == ERROR_SUCCESS && type == REG_DWORD && needed == 4) {
    DWORD dword;
    memcpy(&dword, data.data(), 4);
    text += ",\"value\":" + std::to_string(dword);
  }
  Line("GetPrinterDataExW", error == ERROR_SUCCESS, error, text);
}

void Set(const char* key, const char* value, DWORD number) {
  std::wstring k = Wide(key), v = Wide(value);
  DWORD error = SetPrinterDataExW(Printer, k.c_str(), v.c_str(), REG_DWORD,
                                  reinterpret_cast<BYTE*>(&number), sizeof number);
  Line("SetPrinterDataExW", error == ERROR_SUCCESS, error, "");
}

void Jobs() {
  DWORD needed = 0, returned = 0;
  BOOL ok = EnumJobsW(Printer, 0, 100, 1, NULL, 0, &needed, &returned);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER)
    ok = EnumJobsW(Printer, 0, 100, 1, buffer.data(), needed, &needed, &returned);
  DWORD error = ok ? 0 : GetLastError();
  std::string listed = ",\"jobs\":[";
  for (DWORD i = 0; ok && i < returned; ++i) {
    const JOB_INFO_1W& j = reinterpret_cast<JOB_INFO_1W*>(buffer.data())[i];
    char head[96];
    snprintf(head, sizeof head, "{\"id\":%lu,\"position\":%lu,\"status\":%lu,\"pages\":%lu",
             j.JobId, j.Position, j.Status, j.TotalPages);
    listed += std::string(i ? "," : "") + head + ",\"printer\":" + Json(j.pPrinterName) +
              ",\"machine\":" + Json(j.pMachineName) + ",\"user\":" + Json(j.pUserName) +
              ",\"document\":" + Json(j.pDocument) + "}";
  }
  Line("EnumJobsW", ok, error, listed + "]");
}

void Watch(DWORD filter) {
  Change = FindFirstPrinterChangeNotification(Printer, filter, 0, NULL);
  Line("FindFirstPrinterChangeNotification", Change != INVALID_HANDLE_VALUE, GetLastError(), "");
}

void Wait(DWORD ms) {
  DWORD waited = WaitForSingleObject(Change, ms);
  DWORD changes = 0;
  BOOL ok =
      waited == WAIT_OBJECT_0 && FindNextPrinterChangeNotification(Change, &changes, NULL, NULL);
  char more[64];
  snprintf(more, sizeof more, ",\"signalled\":%d,\"changes\":%lu", waited == WAIT_OBJECT_0,
           changes);
  Line("FindNextPrinterChangeNotification", ok, GetLastError(), more);
}

void Await(const char* name, DWORD ms) {
  std::wstring w = Wide(name);
  const DWORD start = GetTickCount();
  HANDLE h = NULL;
  while (!OpenPrinterW(&w[0], &h, NULL) && GetTickCount() - start < ms) Sleep(50);
  if (h) ClosePrinter(h);
  Line("await", h != NULL, GetLastError(), "");
}

void Gone(DWORD ms) {
  const DWORD start = GetTickCount();
  DWORD needed = 0, returned = 0, error = 0;
  while (GetTickCount() - start < ms) {
    error = 0;
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, NULL, 4, NULL, 0, &needed, &returned))
      error = GetLastError();
    if (error == RPC_S_SERVER_UNAVAILABLE) break;
    Sleep(50);
  }
  Line("gone", error == RPC_S_SERVER_UNAVAILABLE, error, "");
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string step = argv[i];
    const char* a = i + 1 < argc ? argv[i + 1] : "";
    const char* b = i + 2 < argc ? argv[i + 2] : "";
    if (step == "await") {
      Await(a, strtoul(b, NULL, 0)), i += 2;
    } else if (step == "enum") {
      Enum(strtoul(a, NULL, 0), strtoul(b, NULL, 0)), i += 2;
    } else if (step == "open") {
      Open(a, b), i += 2;
    } else if (step == "get") {
      Get(a, b), i += 2;
    } else if (step == "set") {
      Set(a, b, strtoul(i + 3 < argc ? argv[i + 3] : "0", NULL, 0)), i += 3;
    } else if (step == "jobs") {
      Jobs();
    } else if (step == "watch") {
      Watch(strtoul(a, NULL, 0)), i += 1;
    } else if (step == "wait") {
      Wait(strtoul(a, NULL, 0)), i += 1;
    } else if (step == "gone") {
      Gone(strtoul(a, NULL, 0)), i += 1;
    } else {
      fprintf(stderr, "spool_reader: unknown step %s\n", step.c_str());
      return 2;
    }
  }
  return 0;
}
