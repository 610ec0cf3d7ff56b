# The toolset's one version (project(... VERSION ...)) and where it goes:
# a generated header, trelm_version.h (target trelm_version), for every
# --version and About text, and a VERSIONINFO resource for each Windows
# program and library (trelm_version_resources, called once every target
# exists). Pellor and Varnet keep version texts of their own in their
# titles; their resources carry those as file versions, read here from the
# sources that show them, so the two can never differ.

set(TRELM_PRODUCT_NAME "Trelm workstation toolset")
set(TRELM_VERSION_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/trelm_version.h.in ${TRELM_VERSION_DIR}/trelm_version.h @ONLY)
add_library(trelm_version INTERFACE)
target_include_directories(trelm_version INTERFACE ${TRELM_VERSION_DIR})

# trelm_version_text_of(var file regex): the first capture of regex in file.
function(trelm_version_text_of var file regex)
  file(STRINGS ${file} lines REGEX "${regex}")
  if(NOT lines MATCHES "${regex}")
    message(FATAL_ERROR "no version text matching '${regex}' in ${file}")
  endif()
  set(${var} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()

trelm_version_text_of(TRELM_PELLOR_VERSION ${PROJECT_SOURCE_DIR}/launcher/core/launcher_state.h
  "kLauncherTitle = \"Trelm Launch V([0-9.]+)\"")
trelm_version_text_of(TRELM_VARNET_VERSION ${PROJECT_SOURCE_DIR}/capture/app/varnet.h
  "kVersion = \"([0-9.]+)\"")

# "3.04.06" -> "3,4,6,0", the numeric form a VERSIONINFO wants.
function(trelm_version_numbers var text)
  string(REPLACE "." ";" parts "${text}")
  set(numbers)
  foreach(p IN LISTS parts)
    string(REGEX REPLACE "^0+([0-9])" "\\1" p "${p}")
    list(APPEND numbers ${p})
  endforeach()
  list(LENGTH numbers n)
  while(n LESS 4)
    list(APPEND numbers 0)
    math(EXPR n "${n} + 1")
  endwhile()
  list(JOIN numbers "," joined)
  set(${var} ${joined} PARENT_SCOPE)
endfunction()

# trelm_version_resource(target description [file_version_text]): adds a
# VERSIONINFO to the target; the file version is the toolset's unless given.
function(trelm_version_resource target description)
  if(NOT TARGET ${target})
    return()
  endif()
  set(file_version ${PROJECT_VERSION})
  if(ARGC GREATER 2)
    set(file_version ${ARGV2})
  endif()
  trelm_version_numbers(file_numbers ${file_version})
  trelm_version_numbers(product_numbers ${PROJECT_VERSION})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(file_type VFT_DLL)
  else()
    set(file_type VFT_APP)
  endif()
  set(rc ${TRELM_VERSION_DIR}/${target}_version.rc)
  file(GENERATE OUTPUT ${rc} CONTENT "#include <winver.h>
1 VERSIONINFO
FILEVERSION ${file_numbers}
PRODUCTVERSION ${product_numbers}
FILEFLAGSMASK VS_FFI_FILEFLAGSMASK
FILEFLAGS 0
FILEOS VOS_NT_WINDOWS32
FILETYPE ${file_type}
FILESUBTYPE 0
BEGIN
  BLOCK \"StringFileInfo\"
  BEGIN
    BLOCK \"040904E4\"
    BEGIN
      VALUE \"CompanyName\", \"Trelm\"
      VALUE \"FileDescription\", \"${description}\"
      VALUE \"FileVersion\", \"${file_version}\"
      VALUE \"InternalName\", \"$<TARGET_FILE_BASE_NAME:${target}>\"
      VALUE \"OriginalFilename\", \"$<TARGET_FILE_NAME:${target}>\"
      VALUE \"ProductName\", \"${TRELM_PRODUCT_NAME}\"
      VALUE \"ProductVersion\", \"${PROJECT_VERSION}\"
    END
  END
  BLOCK \"VarFileInfo\"
  BEGIN
    VALUE \"Translation\", 0x409, 1252
  END
END
")
  target_sources(${target} PRIVATE ${rc})
  set_property(GLOBAL APPEND PROPERTY TRELM_VERSIONED_TARGETS ${target})
  set_property(GLOBAL APPEND PROPERTY TRELM_VERSIONED_FILE_VERSIONS ${file_version})
endfunction()

# The targets of a directory and of those below it.
function(trelm_targets_below var dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    trelm_targets_below(below ${sub})
    list(APPEND targets ${below})
  endforeach()
  set(${var} ${targets} PARENT_SCOPE)
endfunction()

# Every Windows program and library we build: called once all exist.
# Writes, for the release and its test, where each is and what version it
# carries (release_files.txt, built_versions.txt in the build folder).
function(trelm_version_resources)
  if(NOT WIN32)
    return()
  endif()
  trelm_version_resource(pellor "Trelm workstation launcher (Pellor)" ${TRELM_PELLOR_VERSION})
  trelm_version_resource(varnet "Trelm network capture tool (Varnet)" ${TRELM_VARNET_VERSION})
  trelm_version_resource(launchcheck "Pellor launch list checker")
  trelm_version_resource(mirvale "Trelm LANA tool (Mirvale)")
  trelm_version_resource(pktdump "Varnet packet data file reader")
  trelm_version_resource(nbtraffic "NetBIOS datagram traffic tool")
  trelm_version_resource(velknb32b "NetBIOS datagram wrapper (test bench stand-in)")
  trelm_version_resource(bwcc32 "Custom controls (test bench stand-in)")
  trelm_version_resource(trelm_cc "Control button library (test bench stand-in)")
  trelm_version_resource(orm "ORM (test bench stand-in)")
  trelm_version_resource(appready "Application-ready reporter (test bench)")
  trelm_version_resource(lanacfg "lanacfg (test bench stand-in)")
  trelm_version_resource(poke "Window message poster (test bench)")
  # The test programs and benchmarks.
  get_property(done GLOBAL PROPERTY TRELM_VERSIONED_TARGETS)
  trelm_targets_below(all ${PROJECT_SOURCE_DIR})
  foreach(target IN LISTS all)
    get_target_property(type ${target} TYPE)
    if((type STREQUAL "EXECUTABLE" OR type STREQUAL "SHARED_LIBRARY") AND NOT target IN_LIST done)
      get_target_property(dir ${target} SOURCE_DIR)
      if(dir MATCHES "/bench$")
        trelm_version_resource(${target} "Trelm toolset benchmark")
      else()
        trelm_version_resource(${target} "Trelm toolset test program")
      endif()
    endif()
  endforeach()

  # "target<TAB>path" a line, for tools/release.sh; "path<TAB>file
  # version<TAB>program or -", for the version test.
  get_property(targets GLOBAL PROPERTY TRELM_VERSIONED_TARGETS)
  get_property(versions GLOBAL PROPERTY TRELM_VERSIONED_FILE_VERSIONS)
  set(cli launchcheck pktdump nbtraffic)
  set(files)
  set(expected)
  foreach(target version IN ZIP_LISTS targets versions)
    set(program -)
    if(target IN_LIST cli)
      set(program ${target})
    endif()
    string(APPEND files "${target}\t$<TARGET_FILE:${target}>\n")
    string(APPEND expected "$<TARGET_FILE:${target}>\t${version}\t${program}\n")
  endforeach()
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/release_files.txt CONTENT "${files}")
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/built_versions.txt CONTENT "${expected}")
  if(TARGET version_resource_tests)
    list(REMOVE_ITEM targets version_resource_tests)
    add_dependencies(version_resource_tests ${targets})
  endif()
endfunction()
