// IPP (RFC 8010/8011) as a network printer speaks it: the Get-Printer-Attributes request the
// monitor sends, and the reader of the printer's answer into one fixed record. Pure code: no
// operating system, no allocation, every value cut or dropped at the record's bounds. The bytes
// come from the network, so the reader trusts no length it is given.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum : uint32_t {
  IPP_MAX_REASONS = 16,      // printer-state-reasons kept
  IPP_KEYWORD_MAX = 64,      // a keyword, tray or media name, NUL included
  IPP_MAX_TRAYS = 8,         // printer-input-tray entries kept
  IPP_MAX_SUPPLIES = 8,      // printer-supply (or marker-*) entries kept
  IPP_MAX_READY_MEDIA = 8,   // media-col-ready (or media-ready) entries kept
  IPP_DEVICE_ID_MAX = 1024,  // the device ID limit of a port's ID, NUL not included
  IPP_TEXT_MAX = 128,        // printer-make-and-model, NUL included
  // The request the monitor sends is at most this long (the URI is cut to fit).
  IPP_REQUEST_MAX = 768,
};

// How much a printer-state-reasons keyword weighs: its suffix ("-error", "-warning",
// "-report"); a keyword without a suffix is an error.
enum IppReasonLevel : uint8_t {
  IPP_LEVEL_ERROR = 0,
  IPP_LEVEL_WARNING = 1,
  IPP_LEVEL_REPORT = 2,
};

struct IppReason {
  char keyword[IPP_KEYWORD_MAX];  // without its suffix
  uint8_t level;                  // IppReasonLevel
};

// One printer-input-tray entry ("type=...;maxcapacity=250;level=100;status=0;name=main").
// Levels and capacities follow the printer's convention: -1 not restricted, -2 unknown,
// -3 some remaining (level only).
struct IppTray {
  char name[IPP_KEYWORD_MAX];
  int32_t level;
  int32_t maxCapacity;
};

// One supply: a printer-supply entry, or the same index of marker-types and marker-levels.
struct IppSupply {
  char type[IPP_KEYWORD_MAX];  // "toner", "opc", "wasteToner", ...
  int32_t level;
  int32_t maxCapacity;  // 100 for marker-levels, which are percentages
};

// Paper ready in a source: media-col-ready's media-source and media-size-name, or a media-ready
// keyword (source empty).
struct IppReadyMedia {
  char source[IPP_KEYWORD_MAX];
  char sizeName[IPP_KEYWORD_MAX];
};

struct IppPrinterAttributes {
  uint16_t statusCode;  // the response's status-code: 0x0000 to 0x00FF are successes
  uint32_t requestId;
  uint32_t state;  // printer-state: 3 idle, 4 processing, 5 stopped; 0 when not sent
  uint32_t reasonCount;
  IppReason reasons[IPP_MAX_REASONS];
  char deviceId[IPP_DEVICE_ID_MAX + 1];
  char makeAndModel[IPP_TEXT_MAX];
  uint32_t trayCount;
  IppTray trays[IPP_MAX_TRAYS];
  uint32_t supplyCount;
  IppSupply supplies[IPP_MAX_SUPPLIES];
  uint32_t readyCount;
  IppReadyMedia ready[IPP_MAX_READY_MEDIA];
  uint32_t dropped;  // values that did not fit the record (counted, not kept)
};

enum IppReadResult : uint32_t {
  IPP_READ_OK = 0,     // read to the end-of-attributes tag
  IPP_READ_SHORT = 1,  // the bytes ended first (what was read is kept)
  IPP_READ_BAD = 2,    // not an IPP response, or one that breaks the encoding
};

// The encoding's tags: the delimiters that open a group or end the attributes (below 0x10), and
// the value tags the request and the reader use.
enum IppTag : uint8_t {
  IPP_TAG_OPERATION_ATTRIBUTES = 0x01,
  IPP_TAG_END_OF_ATTRIBUTES = 0x03,
  IPP_TAG_PRINTER_ATTRIBUTES = 0x04,
  IPP_TAG_FIRST_VALUE = 0x10,
  IPP_TAG_INTEGER = 0x21,
  IPP_TAG_ENUM = 0x23,
  IPP_TAG_OCTET_STRING = 0x30,
  IPP_TAG_BEGIN_COLLECTION = 0x34,
  IPP_TAG_TEXT_WITH_LANGUAGE = 0x35,
  IPP_TAG_NAME_WITH_LANGUAGE = 0x36,
  IPP_TAG_END_COLLECTION = 0x37,
  IPP_TAG_TEXT = 0x41,
  IPP_TAG_NAME = 0x42,
  IPP_TAG_KEYWORD = 0x44,
  IPP_TAG_URI = 0x45,
  IPP_TAG_CHARSET = 0x47,
  IPP_TAG_NATURAL_LANGUAGE = 0x48,
  IPP_TAG_MEMBER_NAME = 0x4A,
};

// The printer-state values.
enum : uint32_t {
  IPP_STATE_IDLE = 3,
  IPP_STATE_PROCESSING = 4,
  IPP_STATE_STOPPED = 5,
};

// Writes a Get-Printer-Attributes request (IPP 2.0) for printerUri that asks for exactly the
// attributes the reader keeps. Returns its length, or 0 when capacity is under IPP_REQUEST_MAX or
// the URI is longer than fits.
size_t IppBuildGetPrinterAttributes(uint8_t* out, size_t capacity, const char* printerUri,
                                    uint32_t requestId);

// Reads a Get-Printer-Attributes response (the HTTP body) into *out, which it clears first.
IppReadResult IppReadPrinterAttributes(const uint8_t* data, size_t length,
                                       IppPrinterAttributes* out);
