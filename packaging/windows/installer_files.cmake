# Run by cmake --install after the user's folder is complete: writes the installer's lists of that folder's
# files ($TORVEX_NSIS_FILES, included by torvex-pc.nsi), so that the uninstaller removes exactly what was
# installed, and the installed size in KB for the list of installed programs.
set(install_lines "")
set(uninstall_lines "")
set(folders "")
set(bytes 0)
list(SORT CMAKE_INSTALL_MANIFEST_FILES)
set(current_folder "-")
foreach(installed IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
  file(RELATIVE_PATH relative "${CMAKE_INSTALL_PREFIX}" "${installed}")
  if(relative MATCHES [[^\.\.]])
    message(FATAL_ERROR "${installed} is outside the user's folder ${CMAKE_INSTALL_PREFIX}")
  endif()
  string(REPLACE "/" "\\" windows_path "${relative}")
  get_filename_component(folder "${relative}" DIRECTORY)
  string(REPLACE "/" "\\" windows_folder "${folder}")
  if(NOT folder STREQUAL current_folder)
    if(folder STREQUAL "")
      string(APPEND install_lines "  SetOutPath \"$INSTDIR\"\n")
    else()
      string(APPEND install_lines "  SetOutPath \"$INSTDIR\\${windows_folder}\"\n")
      list(APPEND folders "${windows_folder}")
    endif()
    set(current_folder "${folder}")
  endif()
  string(APPEND install_lines "  File \"${installed}\"\n")
  string(APPEND uninstall_lines "  Delete \"$INSTDIR\\${windows_path}\"\n")
  file(SIZE "${installed}" size)
  math(EXPR bytes "${bytes} + ${size}")
endforeach()
# Deepest folders first; RMDir leaves a folder that still holds something.
list(REMOVE_DUPLICATES folders)
list(SORT folders ORDER DESCENDING)
foreach(folder IN LISTS folders)
  string(APPEND uninstall_lines "  RMDir \"$INSTDIR\\${folder}\"\n")
endforeach()
math(EXPR kilobytes "(${bytes} + 1023) / 1024")

file(WRITE "${TORVEX_NSIS_FILES}" "; Written by packaging/windows/installer_files.cmake at cmake --install.
!define TORVEX_INSTALLED_KB ${kilobytes}
!macro TORVEX_INSTALL_FILES
${install_lines}!macroend
!macro TORVEX_UNINSTALL_FILES
${uninstall_lines}!macroend
")
message(STATUS "Installer file list: ${TORVEX_NSIS_FILES} (${kilobytes} KB)")
