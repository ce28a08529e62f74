#include "display_watch.h"

#include <string.h>

#include "display_link.h"

namespace {

DisplayWatchSink Sink = NULL;
void* SinkContext = NULL;
bool QuitOnDestroy = false;

void ReadSharedName(char* out, size_t room) {
  out[0] = '\0';
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, SHARED_PRINTER_NAME_MAPPING);
  if (!mapping) return;
  const char* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  if (view) {
    size_t n = 0;
    while (n < SHARED_PRINTER_NAME_SIZE && n + 1 < room && view[n]) n++;
    memcpy(out, view, n);
    out[n] = '\0';
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
}

LRESULT CALLBACK WatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == DLM_STATUS_CODE || message == WM_DESTROY || message == WM_CLOSE ||
      (message > WM_USER && message < WM_USER + 0x100)) {
    char name[SHARED_PRINTER_NAME_SIZE + 1] = "";
    if (message == DLM_STATUS_CODE) ReadSharedName(name, sizeof name);
    Sink(SinkContext, message, wParam, lParam, name);
    if (message == WM_DESTROY) {
      if (QuitOnDestroy) PostQuitMessage(0);
      return 0;
    }
    if (message != WM_CLOSE) return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

struct StartArgs {
  HANDLE ready;
  HWND window;
};

DWORD WINAPI WatchThread(LPVOID param) {
  StartArgs* args = static_cast<StartArgs*>(param);
  args->window = DisplayWatchCreate(Sink, SinkContext, false);
  SetEvent(args->ready);
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}

}  // namespace

HWND DisplayWatchCreate(DisplayWatchSink sink, void* context, bool quitOnDestroy) {
  Sink = sink;
  SinkContext = context;
  QuitOnDestroy = quitOnDestroy;
  WNDCLASSA wc;
  memset(&wc, 0, sizeof wc);
  wc.lpfnWndProc = WatchProc;
  wc.hInstance = GetModuleHandleA(NULL);
  wc.lpszClassName = DISPLAY_WINDOW_CLASS;
  RegisterClassA(&wc);
  return CreateWindowA(DISPLAY_WINDOW_CLASS, DISPLAY_WINDOW_TITLE, WS_OVERLAPPEDWINDOW, 0, 0, 10,
                       10, NULL, NULL, wc.hInstance, NULL);
}

bool DisplayWatchStartThread(DisplayWatchSink sink, void* context) {
  Sink = sink;
  SinkContext = context;
  StartArgs args = {CreateEventA(NULL, TRUE, FALSE, NULL), NULL};
  HANDLE thread = CreateThread(NULL, 0, WatchThread, &args, 0, NULL);
  if (!thread) return false;
  CloseHandle(thread);
  WaitForSingleObject(args.ready, INFINITE);
  CloseHandle(args.ready);
  return args.window != NULL;
}
