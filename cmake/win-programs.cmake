# The three Windows programs: KVRN.exe (the application's stand-in), Uninstall.exe and
# Setup.exe, which carries the other two and every file of the payload as resources.
#
# Order: the artwork is drawn, KVRN and Uninstall are linked, then tools/gen_payload.py turns
# the install manifest (payload/files/Setup.log) into the payload resource script, which
# windres compiles into an object linked into Setup.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# No comctl32: the programs load it themselves once the DLL search is restricted
# (winkit/system_dlls.cpp).
set(KORV_WIN32_LIBS user32 gdi32 comdlg32 shell32 ole32 oleaut32 uuid advapi32)
set(KORV_GEN ${CMAKE_BINARY_DIR}/generated)
set(KORV_ART ${KORV_GEN}/art)
set(KORV_SRC ${CMAKE_SOURCE_DIR})

# --- artwork -----------------------------------------------------------------------------------
# The backdrop is always 8-bit RLE8 (20 KB instead of 2.2 MB). The strip and the two headers
# are 24-bit (236 KB together) unless KORV_COMPACT_ART stores them as RLE8 too (18 KB);
# LoadImageW returns bitmaps of the same sizes either way.
option(KORV_COMPACT_ART "Store the strip and header pictures as 8-bit RLE8" ON)
set(KORV_ART_FLAGS)
if(KORV_COMPACT_ART)
  set(KORV_ART_FLAGS --compact)
endif()
set(KORV_ART_FILES
    ${KORV_ART}/backdrop.bmp ${KORV_ART}/leftstrip.bmp ${KORV_ART}/header.bmp
    ${KORV_ART}/unheader.bmp ${KORV_ART}/setup.ico ${KORV_ART}/uninstall.ico
    ${KORV_ART}/kvrn.ico)
add_custom_command(
  OUTPUT ${KORV_ART_FILES}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/gen_art.py ${KORV_ART_FLAGS} ${KORV_ART}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen_art.py
  COMMENT "Drawing the artwork"
  VERBATIM)

# Compiles a resource script into an object file; `deps` are the files it embeds.
function(korv_resource_object out rc)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_RC_COMPILER} --input-format rc --output-format coff -i ${rc} -o ${out}
    DEPENDS ${rc} ${ARGN}
    COMMENT "Compiling resources ${rc}"
    VERBATIM)
endfunction()

# The payload folder: the shipped one, or another for a benchmark build (scripts/bench.sh adds
# a large entry to a copy of it).
set(KORV_PAYLOAD_DIR ${CMAKE_SOURCE_DIR}/payload/files CACHE PATH
    "Folder of the payload sources with the install manifest Setup.log")

# --- version -----------------------------------------------------------------------------------
# The product version is the config's Form/Version ("2.5（专业版）" gives 2.5): the programs'
# version resources and manifests take it from there, so that it cannot drift.
file(STRINGS ${KORV_PAYLOAD_DIR}/Setup.ini KORV_VERSION_LINE REGEX "^Version=" LIMIT_COUNT 1)
if(NOT KORV_VERSION_LINE MATCHES "^Version=([0-9]+)\\.([0-9]+)")
  message(FATAL_ERROR "${KORV_PAYLOAD_DIR}/Setup.ini: no Form/Version of the form N.N")
endif()
set(KORV_VERSION ${CMAKE_MATCH_1}.${CMAKE_MATCH_2})
set(KORV_VERSION_DOTS ${KORV_VERSION}.0.0)
set(KORV_VERSION_COMMAS ${CMAKE_MATCH_1},${CMAKE_MATCH_2},0,0)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KORV_PAYLOAD_DIR}/Setup.ini)
configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${KORV_GEN}/version.rc @ONLY)

# Configures <folder>/<name>.rc.in and <folder>/<name>.manifest and compiles the script to
# <name>_res.o.
function(korv_program_resources name folder)
  configure_file(${CMAKE_SOURCE_DIR}/${folder}/${name}.rc.in ${KORV_GEN}/${name}.rc @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/${folder}/${name}.manifest ${KORV_GEN}/${name}.manifest
                 @ONLY)
  korv_resource_object(${KORV_GEN}/${name}_res.o ${KORV_GEN}/${name}.rc
                       ${KORV_GEN}/${name}.manifest ${KORV_GEN}/version.rc ${KORV_ART_FILES})
endfunction()

# Authenticode signing, when KORV_SIGN is on (scripts/build.sh turns it on when
# KORV_SIGN_PKCS12 and KORV_SIGN_PASSWORD are set; scripts/sign.sh reads them at build time, so
# the password never lands in the cache). KVRN.exe and Uninstall.exe are signed right after
# their link, before the payload embeds them, so the uninstaller that Setup writes out is
# signed too; Setup.exe is signed after its own link.
option(KORV_SIGN "Sign the programs with scripts/sign.sh" OFF)
function(korv_sign target)
  if(KORV_SIGN)
    add_custom_command(TARGET ${target} POST_BUILD
                       COMMAND ${CMAKE_SOURCE_DIR}/scripts/sign.sh $<TARGET_FILE:${target}>
                       VERBATIM)
  endif()
endfunction()

function(korv_link_existing target)
  foreach(lib ${ARGN})
    if(TARGET ${lib})
      target_link_libraries(${target} PRIVATE ${lib})
    endif()
  endforeach()
  target_link_libraries(${target} PRIVATE korv_lean_runtime ${KORV_WIN32_LIBS})
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)  # -mwindows
endfunction()

# --- KVRN.exe ----------------------------------------------------------------------------------
korv_program_resources(KVRN kvrn)
file(GLOB KORV_KVRN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/kvrn/*.cpp)
add_executable(KVRN ${KORV_KVRN_SOURCES} ${KORV_GEN}/KVRN_res.o)
korv_link_existing(KVRN korv_winkit)
korv_sign(KVRN)

# --- Uninstall.exe -----------------------------------------------------------------------------
korv_program_resources(Uninstall uninstaller)
file(GLOB KORV_UNINSTALL_ENTRY CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/uninstaller/win32_*.cpp)
add_executable(Uninstall ${KORV_UNINSTALL_ENTRY} ${KORV_GEN}/Uninstall_res.o)
korv_link_existing(Uninstall korv_uninstaller korv_ui_win32 korv_platform_win32)
korv_sign(Uninstall)

# --- Setup.exe ---------------------------------------------------------------------------------
korv_program_resources(Setup installer)

# Every payload source; a new file is picked up at the next configure (CONFIGURE_DEPENDS).
file(GLOB_RECURSE KORV_PAYLOAD_SOURCES CONFIGURE_DEPENDS ${KORV_PAYLOAD_DIR}/*)
set(KORV_PAYLOAD_RC ${KORV_GEN}/payload/payload.rc)
add_custom_command(
  OUTPUT ${KORV_PAYLOAD_RC}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/gen_payload.py
          --manifest ${KORV_PAYLOAD_DIR}/Setup.log
          --files ${KORV_PAYLOAD_DIR}
          --built KVRN.exe=$<TARGET_FILE:KVRN>
          --built Uninstall.exe=$<TARGET_FILE:Uninstall>
          --out ${KORV_GEN}/payload --rc ${KORV_PAYLOAD_RC}
  # The script rewrites only what changed; touching the script keeps the output newer than
  # its inputs, so the step is not rerun on every build.
  COMMAND ${CMAKE_COMMAND} -E touch ${KORV_PAYLOAD_RC}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/gen_payload.py ${KORV_PAYLOAD_SOURCES} KVRN Uninstall
  COMMENT "Generating the payload resource script from the install manifest"
  VERBATIM)
korv_resource_object(${KORV_GEN}/payload_res.o ${KORV_PAYLOAD_RC})

file(GLOB KORV_SETUP_ENTRY CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/installer/win32_*.cpp)
add_executable(Setup ${KORV_SETUP_ENTRY} ${KORV_GEN}/Setup_res.o ${KORV_GEN}/payload_res.o)
korv_link_existing(Setup korv_installer korv_ui_win32 korv_platform_win32)
korv_sign(Setup)
# Sections start on page boundaries in the file too, so that the loader can map them from the
# file instead of reading the whole image, payload included, into private memory at start
# (Wine reads any image whose sections it cannot map). The payload is then written out from the
# file (WriteFile in platform/win32/win32_files.cpp) and its pages are never brought in.
target_link_options(Setup PRIVATE -Wl,--file-alignment,4096)

# `ctest` in this tree checks the programs just built (tests/build/check_programs.py).
enable_testing()
add_subdirectory(${CMAKE_SOURCE_DIR}/tests/build ${CMAKE_BINARY_DIR}/tests/build)
