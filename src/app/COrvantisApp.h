// SPDX-License-Identifier: MIT
#pragma once

class COrvantisApp final {
public:
    int Run(int argc, char* argv[]);
};
