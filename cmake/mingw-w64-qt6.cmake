# Cross-build of the whole program (window included) for 64-bit Windows against the Qt 6 for mingw-w64 that
# lives outside the repository: $TORVEX_QT_MINGW, by default ../shared/toolchains/qt6-mingw64 beside the
# checkout. That folder's own toolchain file sets the compilers, the find root and Qt's host tools.
if(DEFINED ENV{TORVEX_QT_MINGW} AND NOT "$ENV{TORVEX_QT_MINGW}" STREQUAL "")
  set(TORVEX_QT_MINGW "$ENV{TORVEX_QT_MINGW}")
else()
  set(TORVEX_QT_MINGW "${CMAKE_CURRENT_LIST_DIR}/../../shared/toolchains/qt6-mingw64")
endif()
get_filename_component(TORVEX_QT_MINGW "${TORVEX_QT_MINGW}" ABSOLUTE)
if(NOT EXISTS "${TORVEX_QT_MINGW}/mingw-w64-qt6.cmake")
  message(FATAL_ERROR "No Qt for mingw-w64 at ${TORVEX_QT_MINGW} (set TORVEX_QT_MINGW to its folder)")
endif()
include("${TORVEX_QT_MINGW}/mingw-w64-qt6.cmake")
# Tests and their discovery run through Wine, started again when Wine did not start them (scripts/wine-run).
get_filename_component(TORVEX_WINE_RUN "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${TORVEX_WINE_RUN}")
