# The folder a Windows user receives (cmake --install): the program, the demo and torvex-cli, the Qt, chart
# library and compiler runtime DLLs beside them, and the Qt plugins the window loads from the executable's folder: the platform
# (platforms/qwindows.dll) and the native style (styles/).
install(TARGETS torvex-pc torvex-pc-demo RUNTIME DESTINATION .)
if(TARGET torvex-cli)
  install(TARGETS torvex-cli RUNTIME DESTINATION .)
endif()
install(FILES
  $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets> $<TARGET_FILE:Qt6::PrintSupport>
  $<TARGET_FILE:QCustomPlotQt6::QCustomPlotQt6>
  DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)

# The C++ runtime of the compiler that built Qt and us (Qt's DLLs need it, so static linking cannot drop it).
set(TORVEX_MINGW_RUNTIME_DLLS libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
foreach(dll IN LISTS TORVEX_MINGW_RUNTIME_DLLS)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${dll_path}" OR NOT EXISTS "${dll_path}")
    message(FATAL_ERROR "The compiler does not know where ${dll} is (got '${dll_path}')")
  endif()
  get_filename_component(dll_path "${dll_path}" REALPATH)
  install(FILES "${dll_path}" DESTINATION .)
  # The build folder's tests run under Wine with these folders on the DLL search path.
  get_filename_component(dll_dir "${dll_path}" DIRECTORY)
  list(APPEND TORVEX_WINDOWS_DLL_DIRS "${dll_dir}")
endforeach()
get_target_property(qt_core_dll Qt6::Core LOCATION)
get_filename_component(qt_bin_dir "${qt_core_dll}" DIRECTORY)
list(PREPEND TORVEX_WINDOWS_DLL_DIRS "${qt_bin_dir}")
list(REMOVE_DUPLICATES TORVEX_WINDOWS_DLL_DIRS)

# Symbol tables and debug information are of no use in the user's folder and are more than half its size.
install(CODE "
  foreach(installed IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
    if(installed MATCHES [[\\.(dll|exe)$]])
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-all \"\${installed}\" RESULT_VARIABLE stripped)
      if(NOT stripped EQUAL 0)
        message(FATAL_ERROR \"Cannot strip \${installed}\")
      endif()
    endif()
  endforeach()
")

# The installer (packaging/windows/torvex-pc.nsi): makensis build/windows/torvex-pc.nsi after cmake --install
# gives build/windows/torvex-pc-<version>-setup.exe.
set(TORVEX_NSIS_FILES "${CMAKE_BINARY_DIR}/installer-files.nsh")
set(TORVEX_INSTALLER "${CMAKE_BINARY_DIR}/torvex-pc-${PROJECT_VERSION}-setup.exe")
set(TORVEX_ICON "${TORVEX_WINDOWS_ICON}")
configure_file("${CMAKE_CURRENT_LIST_DIR}/torvex-pc.nsi.in" "${CMAKE_BINARY_DIR}/torvex-pc.nsi" @ONLY)
install(CODE "set(TORVEX_NSIS_FILES \"${TORVEX_NSIS_FILES}\")")
install(SCRIPT "${CMAKE_CURRENT_LIST_DIR}/installer_files.cmake")
