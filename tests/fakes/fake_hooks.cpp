// Registers the fakes with the stand-in when the program starts. qvl_fakes is an object
// library, so this file is linked into every program that links the fakes, whichever of them
// it uses.
#include "fake_hooks.h"

#include "fake_display_link.h"

namespace {

// Mapping handles belong to the display link fake; it answers whether it closed one.
BOOL CloseDisplayLinkHandle(HANDLE handle) {
  return FakeDisplayLinkCloseHandle(handle) ? TRUE : FALSE;
}

const Win32PosixHooks kHooks = {
    FakeKernelFailCreateEvent,     // failCreateEvent
    FakeKernelFailCreateThread,    // failCreateThread
    FakeKernelFailLocalAlloc,      // failLocalAlloc
    FakeKernelDebugOutput,         // debugOutput
    FakeKernelScaleTime,           // scaleTime
    FakeKernelGetSystemDirectory,  // getSystemDirectory
    CloseDisplayLinkHandle,        // closeHandle
    FakeFileOpen,                  // openFile
    FakeFileRead,                  // readFile
    FakeFileSeek,                  // seekFile
    FakeFileClose,                 // closeFile
};

struct Registration {
  Registration() { Win32PosixSetHooks(&kHooks); }
} registration;

}  // namespace
