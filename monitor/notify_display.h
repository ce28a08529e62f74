// Forwards the status codes of the maker's printers to the display program.
#pragma once

#include "port_record.h"

// Last of 40556, 40558, 40559 posted (0: none); shared by all ports of the Windows 95 face,
// whose display program shows one printer at a time.
extern DWORD LastRepeatCode;

// Rebuilds the port's status from the code and hands the code to the port's face for the
// display program.
void NotifyDisplay(PortRecord* port, DWORD code);
// The Windows 95 face's display link: starts the program when its window is missing, writes the
// printer's name into the shared block and posts the code with the model number.
void ShowCodeOnDisplay(PortRecord* port, DWORD code);
void EnsureDisplayProgram();
DWORD PublishPrinterName(PortRecord* port);
// The repeat rule of both faces: back-to-back repeats of the toner and drum codes are shown
// once. memory is the last such code shown: LastRepeatCode for all ports of the Windows 95
// face, the port's own lastRepeatCode on the NT face (one printer's toner code never hides
// another's). IsShownRepeat tells whether code is such a repeat, and records it;
// AfterCodeShown lets 40000 start afresh. Called with the display window (or board) there.
bool IsShownRepeat(DWORD* memory, DWORD code);
void AfterCodeShown(DWORD* memory, DWORD code);

// TRUE when port is the one whose printer the display program was last told about; it is then
// forgotten (its status thread ends, and with it the dialog of its printer).
bool ForgetDisplayedPort(PortRecord* port);
// Closes the monitor's one handle to the shared printer name (process detach).
void ReleaseSharedPrinterName();
