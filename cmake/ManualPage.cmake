# SPDX-License-Identifier: GPL-3.0-or-later
# A manual page: NAME.1.in with the version and the release date filled in
# (the page in the build tree, where "man -l" reads it), compressed as Debian
# ships manual pages (gzip -9n: no name, no time stamp) and installed into
# man1.
function(zorv_manual_page name)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${name}.1)
  configure_file(${CMAKE_CURRENT_SOURCE_DIR}/${name}.1.in ${page} @ONLY)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND gzip -9n -c ${page} > ${page}.gz
    DEPENDS ${page}
    COMMENT "Compressing the manual page ${name}(1)")
  add_custom_target(${name}_manual_page ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
