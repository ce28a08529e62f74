// Text between the spooler's wide strings and the stand-ins' narrow ones: UTF-8 (NT mode, the
// timeline) or the ANSI code page (Windows 95 mode).
#pragma once

#include <windows.h>

#include <string>

// codePage: CP_UTF8 or CP_ACP. NULL gives "".
std::string NarrowText(const WCHAR* text, UINT codePage);
std::wstring WideText(const char* text, UINT codePage);
