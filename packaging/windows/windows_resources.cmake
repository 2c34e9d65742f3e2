# Gives a Windows executable its version record and its manifest (run as the invoking user, common controls
# version 6, per-monitor DPI awareness), both compiled in as resources.
function(torvex_add_windows_resources target)
  set(TORVEX_RC_NAME "${target}")
  set(TORVEX_RC_DESCRIPTION "Program do współpracy z licznikiem TORVEX")
  set(TORVEX_RC_MANIFEST "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
  configure_file("${CMAKE_CURRENT_FUNCTION_LIST_DIR}/torvex-pc.manifest.in" "${TORVEX_RC_MANIFEST}" @ONLY)
  configure_file("${CMAKE_CURRENT_FUNCTION_LIST_DIR}/version.rc.in" "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc" @ONLY)
  target_sources(${target} PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
  # The resource compiler does not report the manifest as a dependency.
  set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/${target}.rc" PROPERTIES OBJECT_DEPENDS "${TORVEX_RC_MANIFEST}")
endfunction()
