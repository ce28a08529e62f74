// The drum counter reset request of the NT display link: written as printer data, which the
// spooler lets only someone allowed to manage the printer write. Where the user is such an
// administrator whose token needs elevation for that right, the Windows elevation prompt is
// offered for this one action: the program runs again elevated with "/drumreset", writes the
// request and ends. Everything NT-only is found at run time.
#include "program.h"

#include "resource_ids.h"

namespace {

#define DRUM_RESET_SWITCH L"/drumreset"
const DWORD kElevatedWaitMs = 120000;  // the user answers the prompt meanwhile
const int kTokenElevationType = 18;    // TokenElevationType
const DWORD kTokenElevationLimited = 3;

template <typename F>
bool Find(const char* module, const char* name, F* slot) {
  HMODULE m = LoadLibraryA(module);
  *slot = m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : NULL;
  return *slot != NULL;
}

// Whether the process runs with the filtered token of an administrator (the elevation prompt
// can give the full one).
bool TokenIsLimited() {
  BOOL(WINAPI * openToken)(HANDLE, DWORD, PHANDLE);
  BOOL(WINAPI * tokenInformation)(HANDLE, int, LPVOID, DWORD, PDWORD);
  if (!Find("advapi32.dll", "OpenProcessToken", &openToken) ||
      !Find("advapi32.dll", "GetTokenInformation", &tokenInformation)) {
    return false;
  }
  HANDLE token = NULL;
  if (!openToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD type = 0, size = 0;
  const bool limited = tokenInformation(token, kTokenElevationType, &type, sizeof type, &size) &&
                       type == kTokenElevationLimited;
  CloseHandle(token);
  return limited;
}

// "/drumreset SEQUENCE "PRINTER"" into text (room characters); false when it does not fit or
// the name holds a quote.
bool ElevatedArguments(const uint16_t* printer, uint32_t sequence, wchar_t* text, DWORD room) {
  wchar_t digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + sequence % 10);
    sequence /= 10;
  } while (sequence != 0);
  DWORD n = 0;
  auto put = [&](wchar_t c) {
    if (n + 1 < room) text[n] = c;
    ++n;
  };
  for (const wchar_t* s = DRUM_RESET_SWITCH L" "; *s; ++s) put(*s);
  while (count > 0) put(digits[--count]);
  put(L' ');
  put(L'"');
  for (DWORD i = 0; i < SESSION_PRINTER_CHARS && printer[i] != 0; ++i) {
    if (printer[i] == '"') return false;
    put(static_cast<wchar_t>(printer[i]));
  }
  put(L'"');
  if (n >= room) return false;
  text[n] = 0;
  return true;
}

// The request made by this program run again elevated; its exit code is the result.
DWORD WriteElevated(const uint16_t* printer, uint32_t sequence) {
  BOOL(WINAPI * shellExecute)(SHELLEXECUTEINFOW*);
  DWORD(WINAPI * moduleName)(HMODULE, LPWSTR, DWORD);
  if (!Find("shell32.dll", "ShellExecuteExW", &shellExecute) ||
      !Find("kernel32.dll", "GetModuleFileNameW", &moduleName)) {
    return ERROR_ACCESS_DENIED;
  }
  wchar_t path[MAX_PATH];
  wchar_t arguments[SESSION_PRINTER_CHARS + 40];
  const DWORD length = moduleName(NULL, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH ||
      !ElevatedArguments(printer, sequence, arguments, sizeof arguments / sizeof *arguments)) {
    return ERROR_ACCESS_DENIED;
  }
  SHELLEXECUTEINFOW run = {};
  run.cbSize = sizeof run;
  run.fMask = SEE_MASK_NOCLOSEPROCESS;
  run.lpVerb = L"runas";
  run.lpFile = path;
  run.lpParameters = arguments;
  run.nShow = SW_HIDE;
  if (!shellExecute(&run) || run.hProcess == NULL) return ERROR_CANCELLED;  // prompt declined
  DWORD code = ERROR_ACCESS_DENIED;
  if (WaitForSingleObject(run.hProcess, kElevatedWaitMs) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(run.hProcess, &code)) {
    code = ERROR_TIMEOUT;
  }
  CloseHandle(run.hProcess);
  return code;
}

}  // namespace

BOOL RequestSessionDrumReset(const uint16_t* printer, uint32_t sequence) {
  DWORD result = WriteDrumResetRequest(printer, sequence);
  if (result == ERROR_ACCESS_DENIED && TokenIsLimited()) result = WriteElevated(printer, sequence);
  if (result == ERROR_SUCCESS) return TRUE;
  if (result == ERROR_ACCESS_DENIED) {
    char text[256];
    char caption[64];
    LoadStringA(Instance, IDS_RESET_REFUSED, text, sizeof text);
    LoadStringA(Instance, IDS_STATUS_TITLE, caption, sizeof caption);
    MessageBoxA(NULL, text, caption, MB_OK | MB_ICONINFORMATION | MB_TASKMODAL | MB_SETFOREGROUND);
  }
  return FALSE;
}

int RunDrumResetSwitch(void) {
  LPWSTR(WINAPI * commandLine)(void);
  if ((GetVersion() & 0x80000000u) != 0 || !Find("kernel32.dll", "GetCommandLineW", &commandLine)) {
    return -1;
  }
  const wchar_t* text = commandLine();
  const wchar_t* at = NULL;
  for (const wchar_t* p = text; *p != 0 && at == NULL; ++p) {
    const wchar_t* s = DRUM_RESET_SWITCH;
    DWORD i = 0;
    while (s[i] != 0 && p[i] == s[i]) ++i;
    if (s[i] == 0) at = p + i;
  }
  if (at == NULL) return -1;
  uint32_t sequence = 0;
  while (*at == L' ') ++at;
  while (*at >= L'0' && *at <= L'9') sequence = sequence * 10 + static_cast<uint32_t>(*at++ - L'0');
  while (*at == L' ') ++at;
  if (*at++ != L'"') return ERROR_INVALID_PARAMETER;
  uint16_t printer[SESSION_PRINTER_CHARS];
  DWORD n = 0;
  while (*at != 0 && *at != L'"' && n + 1 < SESSION_PRINTER_CHARS) {
    printer[n++] = static_cast<uint16_t>(*at++);
  }
  printer[n] = 0;
  if (*at != L'"') return ERROR_INVALID_PARAMETER;
  return static_cast<int>(WriteDrumResetRequest(printer, sequence));
}
