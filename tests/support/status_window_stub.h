// The host build's stand-in for the status window (the real one is plain
// Win32, tested under Wine): showStatusWindow records that it was asked for
// and returns at once with the exit value a closed window gives.
#pragma once

#include <cstdint>
#include <vector>

#include "winapi/types.h"

struct StatusWindowRequest {
    win::HINSTANCE instance;
    int showCommand;
    bool debug;
};

// Every request since the last clear, in order.
const std::vector<StatusWindowRequest>& statusWindowRequests();
void clearStatusWindowRequests();
// What the next windows return, as if their user's quit message carried it
// (0 after a clear).
void setStatusWindowResult(std::int32_t result);
