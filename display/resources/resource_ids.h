// Resource ids of qvlpanel: dialogs, controls, strings, icons and pictures. Used by the
// resource script and the program; no two ids of one kind share a number.
#pragma once

// Dialogs.
#define IDD_STATUS 140
#define IDD_RECOVERY 3025

// Controls.
#define IDC_OK_BUTTON 200
#define IDC_RECOVERY_BUTTON 201
#define IDC_STATUS_ICON 1200
#define IDC_RECOVERY_TEXT 1201
#define IDC_STATUS_TEXT 1202
#define IDC_PICTURE_FRAME 5025

// Strings.
#define IDS_RESET_PROMPT 1
#define IDS_STATUS_TITLE 2
#define IDS_RECOVERY_TITLE 16
#define IDS_RESET_CAPTION 17
#define IDS_PRINTERS_FOLDER 19
#define IDS_STATUS_SUFFIX 20
#define IDS_RECOVERY_SUFFIX 21
#define IDS_RESET_REFUSED 22

// Icons: the program's own, then the status icons that the status files' icon table names.
#define IDI_PROGRAM 5500
#define IDI_STATUS_FIRST 6000  // 6000 to 6008
#define IDI_STATUS_LAST 6008
#define IDI_WAITING 6503
#define IDI_WAITING_2 6504
#define IDI_POWER 6506

// Pictures: one per status icon 6000 to 6499, at the icon's id plus this offset, drawn for
// 96 DPI; the same drawn for 144 and 192 DPI at the icon's id plus the other two.
#define IDB_PICTURE_OFFSET 1000
#define IDB_PICTURE_FIRST 7000  // 7000 to 7008
#define IDB_PICTURE_LAST 7008
#define IDB_PICTURE_144_OFFSET 1100  // 7100 to 7108
#define IDB_PICTURE_192_OFFSET 1200  // 7200 to 7208

// The drum counter reset hot key's id.
#define IDH_DRUM_RESET 1
