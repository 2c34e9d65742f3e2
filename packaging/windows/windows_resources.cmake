# Gives a Windows executable its version record, its icon and its manifest (run as the invoking user, paths
# longer than 260 characters; for the window also common controls version 6 and per-monitor DPI awareness), all
# compiled in as resources.

# The program's icon for Windows, from the same pixel art as the Linux icons (packaging/linux/icons).
set(TORVEX_WINDOWS_ICON "${CMAKE_BINARY_DIR}/torvex-pc.ico")
set(icon_sizes 16 32 48 256)
list(TRANSFORM icon_sizes REPLACE "(.+)" "${PROJECT_SOURCE_DIR}/packaging/linux/icons/torvex-pc-\\1.png"
     OUTPUT_VARIABLE icon_pngs)
find_program(IMAGEMAGICK_CONVERT convert REQUIRED)
add_custom_command(OUTPUT "${TORVEX_WINDOWS_ICON}" COMMAND "${IMAGEMAGICK_CONVERT}" ${icon_pngs} "${TORVEX_WINDOWS_ICON}"
                   DEPENDS ${icon_pngs} VERBATIM)
add_custom_target(torvex_windows_icon DEPENDS "${TORVEX_WINDOWS_ICON}")

# CONSOLE: a console program (torvex-cli), with a description and a manifest of its own.
function(torvex_add_windows_resources target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "CONSOLE" "" "")
  set(TORVEX_RC_NAME "${target}")
  set(TORVEX_RC_MANIFEST "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
  if(arg_CONSOLE)
    set(TORVEX_RC_DESCRIPTION "Program wiersza poleceń do licznika TORVEX")
    set(manifest torvex-cli.manifest.in)
  else()
    set(TORVEX_RC_DESCRIPTION "Program do współpracy z licznikiem TORVEX")
    set(manifest torvex-pc.manifest.in)
  endif()
  configure_file("${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${manifest}" "${TORVEX_RC_MANIFEST}" @ONLY)
  configure_file("${CMAKE_CURRENT_FUNCTION_LIST_DIR}/version.rc.in" "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc" @ONLY)
  target_sources(${target} PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
  add_dependencies(${target} torvex_windows_icon)
  # The resource compiler does not report the manifest or the icon as a dependency.
  set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/${target}.rc" PROPERTIES
    OBJECT_DEPENDS "${TORVEX_RC_MANIFEST};${TORVEX_WINDOWS_ICON}")
endfunction()
