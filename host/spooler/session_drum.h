// The display program's drum counter reset request on the NT-family systems, as qvlspool plays
// it: the monitor (a service there) keeps a status board in the global namespace
// (shared/session_link.h) with a slot and a drum reset event per port; the request is that
// event of each slot whose printer is the one named. Windows only.
#pragma once

// printer: UTF-8. Returns how many slots' events were set; 0 (last error set) when there is no
// board, no slot of the printer, or its event cannot be opened.
int SetSessionDrumResetEvents(const char* printer);
