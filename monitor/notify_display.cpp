// Display notification: for the maker's printers every status code rebuilds the port's spooler
// status and goes to the display program, which is started on demand, together with the
// printer's name in the shared block and the model number.
#include "notify_display.h"

#include "display_link.h"
#include "identify.h"
#include "monitor_face.h"
#include "status_codes.h"

DWORD LastRepeatCode = 0;

namespace {

// The port whose printer the display program was last told about (it wrote the shared name
// last), or NULL. Only compared, never followed: the record may be gone.
PortRecord* DisplayedPort = NULL;

}  // namespace

namespace {

// Status bits that one code adds; every row whose range holds the code applies. Ends with a
// row whose status is 0.
struct StatusRebuildRow {
  DWORD low;
  DWORD high;
  DWORD status;
};

const StatusRebuildRow StatusRebuildTable[] = {
    {STATUS_CODE_TRAY_EMPTY_FIRST, STATUS_CODE_TRAY_EMPTY_LAST, PRINTER_STATUS_PAPER_OUT},
    {STATUS_CODE_LOAD_PAPER, STATUS_CODE_LOAD_PAPER_LAST, PRINTER_STATUS_PAPER_OUT},
    {STATUS_CODE_FAMILY_TONER_LOW, STATUS_CODE_FAMILY_TONER_LOW, PRINTER_STATUS_TONER_LOW},
    {STATUS_CODE_DRUM_END, STATUS_CODE_DRUM_END, PRINTER_STATUS_TONER_LOW},
    {STATUS_CODE_MEMORY_OVERFLOW, STATUS_CODE_MEMORY_OVERFLOW, PRINTER_STATUS_OUT_OF_MEMORY},
    {STATUS_CODE_DOOR_OPEN, STATUS_CODE_DOOR_OPEN, PRINTER_STATUS_DOOR_OPEN},
    {STATUS_CODE_PAPER_JAM, STATUS_CODE_PAPER_JAM_LAST, PRINTER_STATUS_PAPER_JAM},
    {STATUS_CODE_SERVICE, 0xFFFFFFFFu, PRINTER_STATUS_ERROR},
    {STATUS_CODE_COUNTED_ERROR, STATUS_CODE_COUNTED_ERROR, PRINTER_STATUS_ERROR},
    {0, 0, 0},  // end
};
static_assert(sizeof(StatusRebuildTable) / sizeof(StatusRebuildTable[0]) == 10,
              "nine ranges and the end row");

// The codes whose back-to-back repeats are posted only once (across all ports).
bool IsRepeatCode(DWORD code) {
  return IsTonerDrumCode(code);
}

const DWORD CODE_RESET_REPEAT = STATUS_CODE_SLEEP;

DWORD RebuiltStatus(DWORD code) {
  DWORD status = 0;
  for (const StatusRebuildRow* row = StatusRebuildTable; row->status != 0; ++row) {
    if (code >= row->low && code <= row->high) status |= row->status;
  }
  if (code >= STATUS_CODE_CONDITION_FIRST && code != CODE_RESET_REPEAT && !IsRepeatCode(code)) {
    status |= PRINTER_STATUS_USER_INTERVENTION;
  }
  return status;
}

// How long a program just started may take to create its window, and how often to look.
const DWORD kProgramStartWaitMs = 2000;
const DWORD kProgramStartPollMs = 50;

HWND FindDisplayWindow() {
  return FindWindowA(DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE);
}

// The library's one handle to the shared printer name, from the first notification until
// process detach. Holding it keeps the block alive between a post and the program reading it.
HANDLE SharedNameMapping = NULL;

// Opens or creates the mapping once. Status threads of several ports may get here together:
// the first to store its handle wins, the others close theirs (all name the same block).
HANDLE AcquireSharedNameMapping() {
  HANDLE mapping = LoadShared(&SharedNameMapping);
  if (mapping) return mapping;
  mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, SHARED_PRINTER_NAME_MAPPING);
  if (!mapping) {
    mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                 SHARED_PRINTER_NAME_SIZE, SHARED_PRINTER_NAME_MAPPING);
  }
  if (!mapping) return NULL;
  if (!CompareExchangeShared(&SharedNameMapping, NULL, mapping)) {
    CloseHandle(mapping);
    return LoadShared(&SharedNameMapping);
  }
  return mapping;
}

// Level-2 information comes with the printer's device mode and strings, which may not fit the
// usual buffer; then it is read once more into a buffer of the size the spooler asked for.
enum { PRINTER_INFO_BUFFER = 604 };

void WritePrinterName(char* block, HANDLE printer) {
  alignas(PRINTER_INFO_2A) BYTE buffer[PRINTER_INFO_BUFFER] = {};
  BYTE* info = buffer;
  DWORD needed = 0;
  BOOL ok = GetPrinterA(printer, 2, info, sizeof buffer, &needed);
  if (!ok && needed > sizeof buffer) {
    info = static_cast<BYTE*>(LocalAlloc(LPTR, needed));
    ok = info != NULL && GetPrinterA(printer, 2, info, needed, &needed);
  }
  if (ok) {
    LPCSTR name = reinterpret_cast<const PRINTER_INFO_2A*>(info)->pPrinterName;
    for (int i = 0; i < SHARED_PRINTER_NAME_SIZE; ++i) block[i] = 0;
    // At most 47 characters: the program reads up to the NUL, which must be in the block.
    if (name) lstrcpynA(block, name, SHARED_PRINTER_NAME_SIZE);
  }
  if (info != buffer && info != NULL) LocalFree(info);
}

}  // namespace

void EnsureDisplayProgram() {
  if (FindDisplayWindow()) return;
  char path[MAX_PATH];
  // Room for the directory, leaving one backslash, the file name and the NUL.
  const UINT room = 258 - (sizeof DISPLAY_PROGRAM_FILE - 1);
  const UINT length = GetSystemDirectoryA(path, room);
  // A failed call answers 0, a directory too long for the room its size: start nothing then
  // rather than a program from some other place.
  if (length == 0 || length >= room) return;
  lstrcatA(path, "\\");
  lstrcatA(path, DISPLAY_PROGRAM_FILE);
  // WinExec normally returns once the new program waits for its first message, so its window
  // exists by then; some systems (Wine while it starts its desktop) return earlier. Give the
  // window a moment to appear rather than drop the code that asked for it.
  if (WinExec(path, SW_HIDE) > 31) {
    for (DWORD waited = 0; waited < kProgramStartWaitMs && !FindDisplayWindow();
         waited += kProgramStartPollMs) {
      Sleep(kProgramStartPollMs);
    }
  }
}

DWORD PublishPrinterName(PortRecord* port) {
  HANDLE mapping = AcquireSharedNameMapping();
  if (!mapping) return 0;
  LPVOID view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
  if (!view) return 0;
  WritePrinterName(static_cast<char*>(view), LoadShared(&port->hPrinter));
  UnmapViewOfFile(view);
  return 1;
}

bool ForgetDisplayedPort(PortRecord* port) {
  return CompareExchangeShared(&DisplayedPort, port, NULL);
}

void ReleaseSharedPrinterName() {
  HANDLE mapping = ExchangeShared(&SharedNameMapping, NULL);
  if (mapping) CloseHandle(mapping);
}

void NotifyDisplay(PortRecord* port, DWORD code) {
  StorePrinterStatus(port, RebuiltStatus(code));
  FaceOf(port)->showCode(port, code);
}

void ShowCodeOnDisplay(PortRecord* port, DWORD code) {
  EnsureDisplayProgram();
  HWND window = FindDisplayWindow();
  if (window) {
    if (!IsShownRepeat(&LastRepeatCode, code)) {
      PublishPrinterName(port);
      StoreShared(&DisplayedPort, port);
      PostMessageA(window, DLM_STATUS_CODE, static_cast<WPARAM>(code),
                   static_cast<LPARAM>(LoadShared(&IdentifiedModelNumber)));
    }
  }
  AfterCodeShown(&LastRepeatCode, code);
}

bool IsShownRepeat(DWORD* memory, DWORD code) {
  // One exchange both tests and records the repeat, so two ports reporting the same code at
  // once show it once.
  return IsRepeatCode(code) && ExchangeShared(memory, code) == code;
}

void AfterCodeShown(DWORD* memory, DWORD code) {
  if (code == CODE_RESET_REPEAT) StoreShared(memory, 0);
}
