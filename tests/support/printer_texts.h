// What a printer and the monitor say to each other in the native tests and the benchmarks:
// device IDs the ports answer with, the prefix the monitor writes ahead of a job, and replies.
#pragma once

#include <string>

extern const char kMakerDeviceId[];    // a QV-L3820 of the maker
extern const char kGenericDeviceId[];  // a PJL printer of another maker

// Bytes of the two prefix lines, as the printer must receive them.
extern const std::string kPrefix;

// A device status reply (PJL form) with one code, and the job-end report for a job id.
std::string PjlDeviceStatus(unsigned code);
std::string PjlJobEnd(unsigned jobId);
// The job-end report for a job name ("QVLLINK 7.1", the NT monitor's own).
std::string PjlJobEnd(const std::string& name);
// A PJL memory report: TOTAL as given, LARGEST half of it.
std::string PjlMemory(unsigned total);
// A plain reply of the maker's printers.
std::string PlainCode(unsigned code);
