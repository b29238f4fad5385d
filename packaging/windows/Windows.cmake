# The Windows build: cross-built on Debian with MinGW-w64 against the Qt of scripts/windows, tested under wine.
# Included by the top CMakeLists.txt once the rooms are defined (they take their *Win32.cpp files here).
#   OSTREVO_HOST_BUILD  the Linux build folder, for the tests' Linux side: the virtual detector and the
#                       pseudo-terminal peer of the serial tests (empty: those tests are not registered)
#   OSTREVO_WINEPREFIX  the private wine prefix the tests run in (scripts/windows makes it)

set(OSTREVO_HOST_BUILD "" CACHE PATH "The Linux build folder holding the tests' Linux side")
set(OSTREVO_WINEPREFIX "${CMAKE_BINARY_DIR}/../wine" CACHE PATH "The wine prefix the tests run in")

# What the rooms need of Windows beyond kernel32 and user32.
target_link_libraries(ostrevo_errorlog PUBLIC shell32 ole32)
target_link_libraries(ostrevo_protocol PUBLIC winmm)
target_link_libraries(ostrevo_seriallink PUBLIC setupapi)
target_link_libraries(ostrevo_monitor PUBLIC winmm)

# The version and the build's identity for --version and the About box, as on Linux.
set(OSTREVO_GENERATED ${CMAKE_BINARY_DIR}/generated)
add_custom_target(ostrevo_build_info
    COMMAND ${CMAKE_COMMAND} -DVERSION=${PROJECT_VERSION} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
        -DOUTPUT=${OSTREVO_GENERATED}/BuildInfo.h -P ${CMAKE_SOURCE_DIR}/packaging/build-info.cmake
    BYPRODUCTS ${OSTREVO_GENERATED}/BuildInfo.h
    VERBATIM)
add_dependencies(ostrevo_app ostrevo_build_info)
set_source_files_properties(src/app/About.cpp PROPERTIES INCLUDE_DIRECTORIES ${OSTREVO_GENERATED})

# The MinGW runtime the program needs beside it (and its tests on their path under wine).
set(OSTREVO_MINGW_RUNTIME "")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll} OUTPUT_VARIABLE found
        OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(found "${found}" REALPATH)
    if(NOT EXISTS "${found}")
        message(FATAL_ERROR "The MinGW runtime ${dll} was not found (g++-mingw-w64-x86-64-posix installs it)")
    endif()
    list(APPEND OSTREVO_MINGW_RUNTIME ${found})
endforeach()
list(GET OSTREVO_MINGW_RUNTIME 0 stdcxx)
list(GET OSTREVO_MINGW_RUNTIME 2 winpthread)
get_filename_component(OSTREVO_MINGW_GCC_DIR "${stdcxx}" DIRECTORY)
get_filename_component(OSTREVO_MINGW_LIB_DIR "${winpthread}" DIRECTORY)
# wine's names of those folders and of Qt's: on its drive Z:, with backslashes.
string(REPLACE "/" "\\" OSTREVO_MINGW_GCC_DIR_WIN "${OSTREVO_MINGW_GCC_DIR}")
string(REPLACE "/" "\\" OSTREVO_MINGW_LIB_DIR_WIN "${OSTREVO_MINGW_LIB_DIR}")
get_filename_component(OSTREVO_QT_PREFIX "${Qt6_DIR}/../../.." REALPATH)
string(REPLACE "/" "\\" QT6_INSTALL_PREFIX_WIN "${OSTREVO_QT_PREFIX}")

# The tests run under wine through the runner, which sets up the private prefix's environment.
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(OSTREVO_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)


# The program: a program of the Windows subsystem (no console window), with its icon and version resource.
add_executable(ostrevo-setup WIN32 src/app/mainWin32.cpp)
target_link_libraries(ostrevo-setup PRIVATE ostrevo_app)

enable_testing()
add_subdirectory(tests/windows)
