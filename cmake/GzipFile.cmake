# SPDX-License-Identifier: GPL-3.0-or-later
#
# kinoverd_gzip(SOURCE RESULT_VAR): compresses SOURCE at build time into
# ${CMAKE_CURRENT_BINARY_DIR}/<name of SOURCE>.gz and sets RESULT_VAR to that
# path. Best compression and no name or time stamp inside, as Debian wants
# for manual pages and changelogs, so that every build makes the same bytes.
# The caller adds a target that depends on the result.
function(kinoverd_gzip source result_var)
  get_filename_component(name ${source} NAME)
  set(copy ${CMAKE_CURRENT_BINARY_DIR}/gzip/${name})
  add_custom_command(
    OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND gzip -9nf ${copy}
    DEPENDS ${source}
    COMMENT "Compressing ${name}"
    VERBATIM)
  set(${result_var} ${copy}.gz PARENT_SCOPE)
endfunction()
