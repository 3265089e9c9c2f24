# SPDX-License-Identifier: MIT
add_library(orvantis_warnings INTERFACE)
target_compile_options(orvantis_warnings INTERFACE
    -Wall -Wextra -Wshadow -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual
    -Wpedantic -Wcast-align -Wnull-dereference -Wformat=2)
if(ORVANTIS_WERROR)
    target_compile_options(orvantis_warnings INTERFACE -Werror)
endif()
