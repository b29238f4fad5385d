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


# The program's icon, drawn from the same SVG as on Linux (rsvg-convert) and held as PNG pictures in an .ico
# file; without rsvg-convert the program has Windows' default icon.
find_program(OSTREVO_RSVG_CONVERT rsvg-convert)
find_package(Python3 COMPONENTS Interpreter)
set(OSTREVO_ICON_RESOURCE "")
if(OSTREVO_RSVG_CONVERT AND Python3_Interpreter_FOUND)
    set(pngs "")
    foreach(size 16 24 32 48 64 256)
        set(png ${OSTREVO_GENERATED}/icon-${size}.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${OSTREVO_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${CMAKE_SOURCE_DIR}/packaging/ostrevo-setup.svg
            DEPENDS packaging/ostrevo-setup.svg VERBATIM)
        list(APPEND pngs ${png})
    endforeach()
    set(OSTREVO_ICON ${OSTREVO_GENERATED}/ostrevo-setup.ico)
    add_custom_command(OUTPUT ${OSTREVO_ICON}
        COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/packaging/windows/make-ico.py ${OSTREVO_ICON} ${pngs}
        DEPENDS ${pngs} packaging/windows/make-ico.py VERBATIM)
    add_custom_target(ostrevo_icon DEPENDS ${OSTREVO_ICON})
    set(OSTREVO_ICON_RESOURCE "1 ICON \"${OSTREVO_ICON}\"")
endif()
configure_file(packaging/windows/ostrevo-setup.rc.in ${OSTREVO_GENERATED}/ostrevo-setup.rc @ONLY)

# The program: a program of the Windows subsystem (no console window), with its icon and version.
add_executable(ostrevo-setup WIN32 src/app/mainWin32.cpp ${OSTREVO_GENERATED}/ostrevo-setup.rc)
target_link_libraries(ostrevo-setup PRIVATE ostrevo_app)
if(OSTREVO_ICON)
    add_dependencies(ostrevo-setup ostrevo_icon)
    set_source_files_properties(${OSTREVO_GENERATED}/ostrevo-setup.rc PROPERTIES OBJECT_DEPENDS ${OSTREVO_ICON})
endif()

# The alarm sound, made at build time by the same generator as on Linux, built for this machine.
find_program(OSTREVO_HOST_CXX NAMES g++ c++ REQUIRED NO_CMAKE_FIND_ROOT_PATH)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/SIREN1.WAV
    COMMAND ${OSTREVO_HOST_CXX} -std=c++20 -O2 -o ${CMAKE_BINARY_DIR}/make-siren ${CMAKE_SOURCE_DIR}/tools/make_siren.cpp
    COMMAND ${CMAKE_BINARY_DIR}/make-siren ${CMAKE_BINARY_DIR}/SIREN1.WAV
    DEPENDS tools/make_siren.cpp
    COMMENT "Generating SIREN1.WAV")
add_custom_target(ostrevo_siren_wav ALL DEPENDS ${CMAKE_BINARY_DIR}/SIREN1.WAV)
add_dependencies(ostrevo-setup ostrevo_siren_wav)

# The program's folder as the installer and the .zip carry it (cmake --install): the program and its siren,
# Qt's libraries and the plug-ins it loads (the Windows platform, the icon and picture
# formats), and the MinGW runtime. There is no windeployqt: a plain copy does. (The program draws with Qt's
# Fusion style, built into Qt's Widgets: no style plug-in.)
install(TARGETS ostrevo-setup RUNTIME DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/SIREN1.WAV DESTINATION .)
foreach(module Core Gui Widgets)
    install(FILES ${OSTREVO_QT_PREFIX}/bin/Qt6${module}.dll DESTINATION .)
endforeach()
install(FILES ${OSTREVO_QT_PREFIX}/plugins/platforms/qwindows.dll DESTINATION platforms)
install(FILES ${OSTREVO_QT_PREFIX}/plugins/imageformats/qico.dll ${OSTREVO_QT_PREFIX}/plugins/imageformats/qjpeg.dll
    ${OSTREVO_QT_PREFIX}/plugins/imageformats/qgif.dll DESTINATION imageformats)
install(FILES ${OSTREVO_MINGW_RUNTIME} DESTINATION .)

# The poll rate and CPU of the Windows program under wine against the Linux virtual detector (scripts/bench).
add_executable(ostrevo-bench-poll-win tools/bench_poll_win.cpp)
target_link_libraries(ostrevo-bench-poll-win PRIVATE ostrevo_app psapi)

enable_testing()
add_subdirectory(tests/windows)
