# Helpers shared by every folder's CMakeLists.

# Logic targets carry their string literals as GB18030 bytes, the text form the
# program works in. Never use this on a target that includes Qt headers.
function(orvane_gb18030_literals target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-finput-charset=UTF-8> $<$<COMPILE_LANGUAGE:CXX>:-fexec-charset=GB18030>)
endfunction()

# Embeds the bytes of FILE (a path, may be a generator expression) into TARGET as
# the symbols <symbol>_begin and <symbol>_end. DEPENDS names the target that
# produces the file, so that a rebuilt library is embedded again.
function(orvane_embed_file target symbol file)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  set(asm ${CMAKE_CURRENT_BINARY_DIR}/embed_${symbol}.S)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/embed_${symbol}.stamp)
  file(GENERATE OUTPUT ${asm} CONTENT
"    .section .rodata
    .balign 16
    .global ${symbol}_begin
    .global ${symbol}_end
${symbol}_begin:
    .incbin \"${file}\"
${symbol}_end:
    .byte 0
    .section .note.GNU-stack,\"\",@progbits
")
  # The assembler's dependency scan does not see .incbin: rebuild through a stamp.
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${ARG_DEPENDS} ${asm}
    VERBATIM)
  set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS ${stamp} GENERATED TRUE)
  target_sources(${target} PRIVATE ${asm} ${stamp})
endfunction()

# Adds the named subfolders of the current folder, except those named in
# ORVANE_SKIP_FOLDERS. A missing folder is an error.
function(orvane_add_subfolders)
  foreach(folder ${ARGN})
    if(NOT folder IN_LIST ORVANE_SKIP_FOLDERS)
      add_subdirectory(${folder})
    endif()
  endforeach()
endfunction()

# Gives TARGET, a bundled library, its one shape: FILE_NAME.dll in build/components,
# hidden visibility, every symbol resolved when it is linked (not at dlopen time in
# the program), and the exports.map of its folder as the list of what it exports.
# A third argument names another map file.
function(orvane_bundled_library target file_name)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${file_name} PREFIX "" SUFFIX ".dll"
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/components)
  set(map ${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
  if(ARGC GREATER 2)
    set(map ${ARGV2})
  endif()
  target_link_options(${target} PRIVATE -Wl,--version-script=${map})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
  # Sanitizer runtimes resolve their symbols from the executable.
  if(ORVANE_SANITIZE STREQUAL "")
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# Gives TARGET its include folders, so that the build enforces which headers it shows:
#  - its public headers, HEADERS (paths relative to the current folder), reach what links
#    it, through build/include/TARGET/public;
#  - every header of the current folder reaches the target itself, through
#    build/include/TARGET/private (orvane_private_headers opens it to a test).
# Both hold symbolic links under the path the code includes them by: the folder's path
# relative to src/ (tests/ for test support), as in "speech/ReadAloud.h".
function(orvane_public_headers target)
  cmake_parse_arguments(ARG "" "" "HEADERS" ${ARGN})
  set(folder ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${PROJECT_SOURCE_DIR}/src)
  cmake_path(IS_PREFIX root "${folder}" NORMALIZE under_src)
  if(NOT under_src)
    set(root ${PROJECT_SOURCE_DIR}/tests)
  endif()
  set(base ${CMAKE_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${base})
  foreach(header ${ARG_HEADERS})
    if(NOT EXISTS ${folder}/${header})
      message(FATAL_ERROR "${target}: public header ${header} is not in ${folder}")
    endif()
    file(RELATIVE_PATH name ${root} ${folder}/${header})
    cmake_path(GET name PARENT_PATH parent)
    file(MAKE_DIRECTORY ${base}/public/${parent})
    file(CREATE_LINK ${folder}/${header} ${base}/public/${name} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${base}/public)
    return()
  endif()
  # The headers of the folder itself, not of its subfolders (framework/qt is a target of
  # its own). A new header is linked when the build sees it, as a new source file is.
  file(GLOB own CONFIGURE_DEPENDS ${folder}/*.h)
  foreach(header ${own})
    file(RELATIVE_PATH name ${root} ${header})
    cmake_path(GET name PARENT_PATH parent)
    file(MAKE_DIRECTORY ${base}/private/${parent})
    file(CREATE_LINK ${header} ${base}/private/${name} SYMBOLIC)
  endforeach()
  file(MAKE_DIRECTORY ${base}/public ${base}/private)
  target_include_directories(${target} INTERFACE ${base}/public PRIVATE ${base}/private)
endfunction()

# Lets TEST see the private headers of each named target, for a test of its internals.
function(orvane_private_headers test)
  foreach(target ${ARGN})
    target_include_directories(${test} PRIVATE ${CMAKE_BINARY_DIR}/include/${target}/private)
  endforeach()
endfunction()
