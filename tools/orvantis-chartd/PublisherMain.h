// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// The chart publisher: reads the settings file, takes quotes from the feed and serves
// and publishes the chart until SIGTERM or SIGINT. The exit status: 0 after a stop, 2
// for unusable settings, 1 when the service cannot start.
int RunPublisher(const std::string& configPath);
