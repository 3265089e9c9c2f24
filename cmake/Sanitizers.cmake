# SPDX-License-Identifier: MIT
# One switch: -DORVANTIS_SANITIZE=address (address + undefined) or =thread.
if(ORVANTIS_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(ORVANTIS_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT ORVANTIS_SANITIZE STREQUAL "")
    message(FATAL_ERROR "ORVANTIS_SANITIZE must be empty, 'address' or 'thread'")
endif()
