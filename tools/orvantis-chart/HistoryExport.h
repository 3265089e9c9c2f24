// SPDX-License-Identifier: MIT
#pragma once

// orvantis-chart --history [--since DATE] [--until DATE]: the stored price history as CSV
// on standard output. argv[first] is the first argument after --history. The exit status
// of the tool: 0, or 2 for a usage error or a history that cannot be read.
int ExportHistory(int argc, char** argv, int first);
