# trelm_stdcall_dll(name def sources...): a DLL whose stdcall functions are
# exported undecorated, and name_lib, the import library programs link.
# The .def file names the 32-bit decorated forms ("Name@bytes"). On i686
# --kill-at strips the decoration from the exports, and dlltool -k makes an
# import library whose decorated symbols (what callers refer to) import the
# undecorated names. On x86_64 there is no decoration, so the suffixes are
# dropped from a copy of the .def file and the linker's own import library
# serves.
set(TRELM_BIN_DIR ${CMAKE_BINARY_DIR}/bin)

function(trelm_stdcall_dll name def)
  set(def_file ${CMAKE_CURRENT_SOURCE_DIR}/${def})
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    file(READ ${def_file} text)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    set(def_file ${CMAKE_CURRENT_BINARY_DIR}/${name}.def)
    file(WRITE ${def_file} "${text}")
  endif()
  add_library(${name} SHARED ${ARGN} ${def_file})
  set_target_properties(${name} PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${TRELM_BIN_DIR})
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
  add_library(${name}_lib INTERFACE)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(${name} PRIVATE -Wl,--kill-at)
    find_program(TRELM_DLLTOOL ${TRELM_MINGW_PREFIX}-dlltool REQUIRED)
    set(implib ${CMAKE_CURRENT_BINARY_DIR}/lib${name}_stdcall.a)
    add_custom_command(OUTPUT ${implib}
      COMMAND ${TRELM_DLLTOOL} -k -d ${def_file} -D ${name}.dll -l ${implib}
      DEPENDS ${def_file} VERBATIM)
    add_custom_target(${name}_implib DEPENDS ${implib} ${name})
    add_dependencies(${name}_lib ${name}_implib)
    target_link_libraries(${name}_lib INTERFACE ${implib})
  else()
    target_link_libraries(${name}_lib INTERFACE ${name})
  endif()
endfunction()
