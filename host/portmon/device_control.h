// How a port monitor's port answers the questions for the printer's IEEE 1284 device ID, by
// the kind of port it stands for. A port monitor of the Windows 95 generation answers control id
// 17 with the ID. On the NT-family systems GetPrinterDataFromPort's control id is a device I/O
// control code for the port's driver: a USB print port answers IOCTL_USBPRINT_GET_1284_ID, a
// parallel port IOCTL_PAR_QUERY_DEVICE_ID and IOCTL_PAR_QUERY_RAW_DEVICE_ID, a network port none.
// Shared by the emu: and tcp: port monitors, whatever table they are called through.
#pragma once

#include <windows.h>

enum PortKind {
  PORT_KIND_WIN95 = 0,  // control id 17: the ID, cut to the buffer and always terminated
  PORT_KIND_USB,        // the two-byte big-endian length (counting itself), the ID, a NUL
  PORT_KIND_PARALLEL,   // the ID and a NUL; the raw code: as the USB answer
  PORT_KIND_NETWORK,    // no device ID
};

// "usb", "parallel", "network" into a kind; false for anything else.
bool PortKindNamed(const char* name, PortKind* kind);

// Whether a port of the kind answers the control code with the device ID (so the port monitor
// has to find the ID first).
bool PortKindAnswers(PortKind kind, DWORD control);

// Answers GetPrinterDataFromPort's control code for a port of the kind whose printer has the
// device ID id (NULL: the port knows none, ERROR_NOT_READY). Codes the kind does not answer
// fail: ERROR_NOT_SUPPORTED for the Windows 95 form and network ports, ERROR_INVALID_PARAMETER
// for the drivers of USB and parallel ports. Answers of the NT kinds longer than the buffer
// are cut to it, as a driver reading the printer's answer into the caller's buffer does (the
// length bytes still give the whole ID's length); a USB port fails buffers of more than 4094
// bytes (ERROR_GEN_FAILURE, as such a printer's stalled transfer ends).
BOOL AnswerDeviceControl(PortKind kind, DWORD control, const char* id, LPSTR out, DWORD outSize,
                         LPDWORD returned);
