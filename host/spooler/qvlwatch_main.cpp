// qvlwatch: installed as qvlpanel.exe in a test prefix, it stands in for the display program
// that the monitor starts. It records how it was started and every message it receives, one
// JSON object a line, in the file named by QVLWATCH_LOG, and ends on WM_DESTROY as the real
// program does.
//
// "qvlwatch --hold SECONDS" instead keeps an ordinary hidden window for that long. Under Wine
// the first window of a session starts the desktop process, and a WinExec made meanwhile may
// return before the started program has its window; on Windows the desktop always exists.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "display_watch.h"

namespace {

FILE* Log = NULL;

void Logged(void*, UINT message, WPARAM wParam, LPARAM lParam, const char* name) {
  fprintf(Log,
          "{\"tick\":%lu,\"kind\":\"display\",\"message\":%u,\"wParam\":%lu,\"lParam\":%ld,"
          "\"printer\":\"%s\"}\n",
          GetTickCount(), message, static_cast<unsigned long>(wParam), static_cast<long>(lParam),
          name);
  fflush(Log);
}

// Keeps a hidden window of another class for seconds, then ends.
int HoldDesktop(int seconds) {
  WNDCLASSA wc;
  memset(&wc, 0, sizeof wc);
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(NULL);
  wc.lpszClassName = "QVL desktop holder";
  RegisterClassA(&wc);
  if (!CreateWindowA(wc.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, NULL, NULL,
                     wc.hInstance, NULL)) {
    return 1;
  }
  SetTimer(NULL, 0, static_cast<UINT>(seconds) * 1000, NULL);
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0 && msg.message != WM_TIMER) DispatchMessageA(&msg);
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int show) {
  if (strncmp(commandLine, "--hold ", 7) == 0) return HoldDesktop(atoi(commandLine + 7));
  char path[MAX_PATH] = "qvlwatch.log";
  GetEnvironmentVariableA("QVLWATCH_LOG", path, sizeof path);
  Log = fopen(path, "a");
  if (!Log) return 1;
  char self[MAX_PATH] = "";
  GetModuleFileNameA(NULL, self, sizeof self);
  for (char* c = self; *c; c++) {
    if (*c == '\\') *c = '/';  // keeps the line valid JSON without escapes
  }
  fprintf(Log, "{\"tick\":%lu,\"kind\":\"started\",\"path\":\"%s\",\"show\":%d}\n", GetTickCount(),
          self, show);
  fflush(Log);
  if (!DisplayWatchCreate(Logged, NULL, true)) return 1;
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
  fprintf(Log, "{\"tick\":%lu,\"kind\":\"ended\"}\n", GetTickCount());
  fclose(Log);
  return 0;
}
