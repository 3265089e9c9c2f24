// SPDX-License-Identifier: MIT
#pragma once

#include "httpd/TerminationSignals.h"

#include <string>

// The chart publisher: reads the settings file, takes quotes from the feed and serves
// and publishes the chart until one of the stop signals comes.
// The exit status: 0 after a stop, 2 for unusable settings, 1 when it cannot start.
int RunPublisher(const std::string& configPath, const TerminationSignals& stopSignals);
