# SPDX-License-Identifier: MIT
# The desktop library sees only itself: with its include path a file finds the library's
# own headers and neither core nor the windows.
# cmake -DCOMPILER=... -DINCLUDES=dir;dir -DWORK=dir -P desktop_includes.cmake
set(flags -std=c++20 -fsyntax-only)
foreach(dir IN LISTS INCLUDES)
    list(APPEND flags -I${dir})
endforeach()

foreach(case "desktop/TrayClick.h|found" "core/app/DisplayChoice.h|missing"
             "gui/desktop/CSystemTray.h|missing")
    string(REPLACE "|" ";" case ${case})
    list(GET case 0 header)
    list(GET case 1 expected)
    file(WRITE ${WORK}/desktop_probe.cpp "#include \"${header}\"\n")
    execute_process(COMMAND ${COMPILER} ${flags} ${WORK}/desktop_probe.cpp
                    RESULT_VARIABLE result ERROR_VARIABLE errors OUTPUT_VARIABLE errors)
    if(expected STREQUAL "found" AND NOT result EQUAL 0)
        message(FATAL_ERROR "${header} does not compile with the desktop's include path:\n${errors}")
    endif()
    if(expected STREQUAL "missing" AND NOT errors MATCHES "${header}'?:? (No such file|file not found)")
        message(FATAL_ERROR "the desktop's include path reaches ${header}:\n${errors}")
    endif()
endforeach()
