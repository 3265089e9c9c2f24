// SPDX-License-Identifier: MIT
#pragma once

#include "chartgen/PngWriter.h"
#include "demo/FaultPlan.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr std::size_t OVERSIZED_BODY_BYTES = 20u * 1024u * 1024u; // beyond any client's limit

// The demo chart server's command line.
struct ChartdOptions {
    int port = 8080; // 0: any free port
    std::string portFile;
    double start = 1650.0;
    double step = 2.5;
    std::uint32_t seed = 0;
    bool seedGiven = false;
    std::vector<double> prices; // --prices and --prices-file in the order given
    FaultMode fault;
    std::uint64_t faultAfter = 0;
    std::vector<FaultMode> faultScript;
    std::string faultFile; // read at every chart request; a mode there comes first
    int width = 500;
    int height = 300;
    PngOptions png; // how the charts are stored
    bool quiet = false;
    bool help = false;

    // False with a message for the user when the command line cannot be used.
    static bool Parse(int argc, char** argv, ChartdOptions& options, std::string& error);
    static const char* Usage();
};
