// A network port's printer on the NT face: its IPP address and the status thread's polls.
// Windows builds only.
#pragma once

#include "nt_monitor.h"

struct NtNetwork;

// When the port is a network one (an address is given for it under the monitor's key, or the
// port monitor below answers GetConfigInfo): its state, else NULL. Called when the port opens,
// outside the monitor lock: it asks the port monitor and the registry callbacks.
NtNetwork* NtNetworkOpen(MonitorInstance* instance, const MONITOR2* below, HANDLE belowMonitor,
                         LPCWSTR portName);
// When the port's record is freed (its status thread has ended).
void NtNetworkFree(NtNetwork* network);
// The address the printer is asked at (NULL for NULL).
const char* NtNetworkUri(const NtNetwork* network);
// An answer's device ID has identified the printer; kept for the port's life.
bool NtNetworkIdentified(const NtNetwork* network);

// One poll on the port's status thread: asks the printer (unless it is backing off after a
// failure) and applies what is new; `first` for the thread's first poll, which applies what it
// finds even when it is what the last thread found. False when there is nothing to poll: not a
// network port, or no WinHTTP on this system.
bool NtNetworkPoll(NtNetwork* network, PortRecord* record, bool first);
