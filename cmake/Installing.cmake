# Helpers for install() rules shared by the folders.

# lh_install_gzipped(<file> <destination>): installs <file> compressed as <file name>.gz, as
# manual pages and the package's changelog are kept. gzip -n leaves out the name and the time,
# so the same source always gives the same bytes.
function(lh_install_gzipped source destination)
  get_filename_component(name ${source} NAME)
  get_filename_component(source ${source} ABSOLUTE)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND gzip -9 -n -c ${source} > ${compressed}
    DEPENDS ${source}
    COMMENT "Compressing ${name}"
    VERBATIM)
  string(MAKE_C_IDENTIFIER "lh_gzip_${name}" target)
  add_custom_target(${target} ALL DEPENDS ${compressed})
  set_property(GLOBAL APPEND PROPERTY LH_INSTALLED_TARGETS ${target})
  install(FILES ${compressed} DESTINATION ${destination})
endfunction()
