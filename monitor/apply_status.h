// Applies one parsed reply's tokens to the port: spooler status, printer data, job end.
#pragma once

#include "port_record.h"
#include "status_token.h"

void ApplyStatusTokens(PortRecord* port, const StatusToken* tokens, uint32_t count);
