# Helpers shared by every folder: one static library per folder, one test
# binary per library, warnings and sanitizer flags in one place.

set(TREVOK_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Wcast-align -Wunused -Woverloaded-virtual -Wnull-dereference -Wformat=2)
if(TREVOK_WERROR)
  list(APPEND TREVOK_WARNINGS -Werror)
endif()

function(trevok_warnings target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:${TREVOK_WARNINGS}>)
endfunction()

# trevok_library(NAME [SOURCES_DIR dir] [DEPS libs...] [EXCLUDE files...])
# Globs the folder's .cpp/.c files into a static library.
function(trevok_library name)
  cmake_parse_arguments(ARG "" "SOURCES_DIR" "DEPS;EXCLUDE" ${ARGN})
  if(NOT ARG_SOURCES_DIR)
    set(ARG_SOURCES_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  file(GLOB sources CONFIGURE_DEPENDS
       ${ARG_SOURCES_DIR}/*.cpp ${ARG_SOURCES_DIR}/*.c)
  foreach(ex ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${ARG_SOURCES_DIR}/${ex})
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    trevok_warnings(${name})
  else()
    # A folder whose subsystem is not written yet: headers only.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# trevok_tests(LIB [DEPS extra...]): tests/<lib>/*.cpp into <lib>_tests,
# each GoogleTest case registered with CTest.
function(trevok_tests lib)
  cmake_parse_arguments(ARG "" "" "DEPS;PROPERTIES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(target ${lib}_tests)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${lib} ${ARG_DEPS} test_support
                        GTest::gmock GTest::gtest_main)
  trevok_warnings(${target})
  # Where the fixtures, the sample data and the build lie; set as environment
  # variables before any test runs, so the binaries also work run by hand.
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/test_environment.cpp)
  target_compile_definitions(${target} PRIVATE
    TREVOK_FIXTURES_DIR="${PROJECT_SOURCE_DIR}/tests/fixtures"
    TREVOK_SAMPLE_DATA_DIR="${CMAKE_BINARY_DIR}/sample-data"
    TREVOK_BUILD_DIR_PATH="${CMAKE_BINARY_DIR}")
  set(extra)
  if(ARG_PROPERTIES)
    set(extra PROPERTIES ${ARG_PROPERTIES})
  endif()
  gtest_discover_tests(${target}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX "${lib}."
    ${extra})
endfunction()

# trevok_hot_sources(files...): pixel and byte loops whose trip count is only
# known at run time. g++ at -O2 vectorises only loops it can prove cheap
# (fixed counts); these files get its full cost model, as -O3 would use.
function(trevok_hot_sources)
  foreach(file ${ARGN})
    set_property(SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/${file} APPEND PROPERTY COMPILE_OPTIONS
                 $<$<CXX_COMPILER_ID:GNU>:-fvect-cost-model=dynamic>)
  endforeach()
endfunction()
