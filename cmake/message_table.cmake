# trelm_message_table(NAME.mc): compiles a message table with MinGW's
# windmc into NAME.rc (with its NAME_MSG00409.bin) and NAME.h, in a folder
# of the build; a program's .rc includes NAME.rc, its Win32 code may include
# NAME.h. Gives an interface library NAME that adds that folder to the
# includes of whatever links it (the resource compiler's too) and has the
# table built first.
find_program(TRELM_WINDMC ${TRELM_MINGW_PREFIX}-windmc)
if(NOT TRELM_WINDMC)
  message(FATAL_ERROR "${TRELM_MINGW_PREFIX}-windmc (binutils-mingw-w64) is needed for the message tables")
endif()

function(trelm_message_table mc)
  get_filename_component(name ${mc} NAME_WE)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${name})
  set(outputs ${dir}/${name}.rc ${dir}/${name}.h ${dir}/${name}_MSG00409.bin)
  add_custom_command(OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    # -b names the .bin after the table, so that two tables never share one.
    COMMAND ${TRELM_WINDMC} -b -h ${dir} -r ${dir} ${CMAKE_CURRENT_SOURCE_DIR}/${mc}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${mc}
    COMMENT "windmc ${mc}"
    VERBATIM)
  add_custom_target(${name}_generated DEPENDS ${outputs})
  add_library(${name} INTERFACE)
  target_include_directories(${name} INTERFACE ${dir})
  add_dependencies(${name} ${name}_generated)
  set(${name}_OUTPUTS ${outputs} PARENT_SCOPE)
endfunction()
