// Whether the system has a network connection.
#pragma once

#include <optional>

// True when a network interface other than loopback is up and has an address.
bool InternetGetConnectedState();

// Tests replace the answer (nullopt puts the system's answer back).
void SetConnectedStateOverride(std::optional<bool> answer);
