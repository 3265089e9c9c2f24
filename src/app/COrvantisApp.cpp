// SPDX-License-Identifier: MIT
#include "app/COrvantisApp.h"

int COrvantisApp::Run(int, char*[]) { return 0; }
