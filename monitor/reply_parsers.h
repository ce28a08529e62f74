// The two reply parsers. Both read one step of the reply text, store tokens into the caller's
// array and report where they stopped; neither allocates.
#pragma once

#include "status_token.h"

// PJL replies ("@PJL ..." lines ended by CR LF, then a form feed). Never writes into text.
ParseResult ParsePjlReply(const char* text, uint32_t maxTokens, StatusToken* tokens,
                          uint32_t* count, const char** stop);

// Plain replies of the maker's printers (any text ended by a form feed, one item each).
ParseResult ParsePlainReply(char* text, uint32_t maxTokens, StatusToken* tokens, uint32_t* count,
                            char** stop);
