# trelm_stdcall_dll(name def sources...): a DLL whose stdcall functions are
# exported undecorated, with an import library that programs link.
# The .def file names the 32-bit decorated forms ("Name@bytes"); on i686
# --kill-at strips the decoration from the exports while the import library
# keeps the decorated symbols callers refer to. On x86_64 there is no
# decoration, so the suffixes are dropped from a copy of the .def file.
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
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(${name} PRIVATE -Wl,--kill-at)
  endif()
endfunction()
