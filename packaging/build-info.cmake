# Writes the build's identity into OUTPUT: the version (VERSION), the commit of SOURCE_DIR when it is a git
# checkout, and the date (SOURCE_DATE_EPOCH when set, for reproducible packages). Run at every build; the
# file is rewritten only when something in it changed, so nothing is recompiled otherwise.
set(commit "")
find_program(GIT git)
if(GIT AND EXISTS "${SOURCE_DIR}/.git")
    # Read-only git commands only: the build never takes the index lock of a tree others work in.
    execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" rev-parse --short=10 HEAD
        OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        set(commit "")
    endif()
endif()
string(TIMESTAMP date "%Y-%m-%d" UTC)
file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT [[
// Generated at build time by packaging/build-info.cmake.
#pragma once
#define OSTREVO_VERSION "@VERSION@"
#define OSTREVO_BUILD_COMMIT "@commit@"
#define OSTREVO_BUILD_DATE "@date@"
]] @ONLY)
