// SPDX-License-Identifier: MIT
#pragma once

#include "NotifydConfig.h"

#include <cstdio>
#include <string>

// orvantis-notifyd --test ADDRESS: one test alert through every channel of the address's
// route in turn (not only up to the first that delivers, so that each can be checked),
// with each channel's outcome printed to out. 0 when every channel delivered, 1 when one
// did not, 2 when the address is no address on the allow-list (said on err).
int SendTestAlert(const NotifydConfig& config, const std::string& address, std::FILE* out,
                  std::FILE* err);
