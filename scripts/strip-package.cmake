# Run by CPack on the package's staged files before they are packed: strips the programs as
# Debian's own packages are stripped, symbols and the .comment and .note sections (the compiler
# versions and notes nothing at run time reads), keeping the build id.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file ${staged})
  if(IS_SYMLINK ${file})
    continue()
  endif()
  file(READ ${file} magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND ${CPACK_VARNEL_STRIP} --remove-section=.comment --remove-section=.note ${file}
      COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
