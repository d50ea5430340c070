# printertest_library(NAME SOURCES file... [PUBLIC dep...] [PRIVATE dep...])
#
# The one shape every folder's library has: a static library
# printertest_NAME with the alias printertest::NAME, the calling folder on
# the include path of everything that links it, and its dependencies.
function(printertest_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;PUBLIC;PRIVATE")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_SOURCES)
    message(FATAL_ERROR "printertest_library(${name}): SOURCES, then PUBLIC and PRIVATE dependencies")
  endif()
  set(target printertest_${name})
  add_library(${target} STATIC ${arg_SOURCES})
  add_library(printertest::${name} ALIAS ${target})
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${arg_PUBLIC} PRIVATE ${arg_PRIVATE})
endfunction()
