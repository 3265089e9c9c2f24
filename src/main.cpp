// SPDX-License-Identifier: MIT
#include "gui/app/COrvantisApp.h"

int main(int argc, char* argv[]) {
    COrvantisApp app;
    return app.Run(argc, argv);
}
