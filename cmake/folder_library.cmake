# Each source folder is one static library made of every .cc file in it, and each test folder one
# test program made of every *_test.cc in it. Listing by folder keeps a new file from needing an
# edit to a shared list; CONFIGURE_DEPENDS re-runs the listing when files come or go.
function(tarnel_folder_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc)
  # A program's entry point is built into the program, never into the library.
  list(FILTER sources EXCLUDE REGEX "/main\\.cc$")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
  endif()
endfunction()

# Links a folder library to further libraries whichever form it took above.
function(tarnel_link name)
  get_target_property(type ${name} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_link_libraries(${name} INTERFACE ${ARGN})
  else()
    target_link_libraries(${name} PUBLIC ${ARGN})
  endif()
endfunction()

include(GoogleTest)

# tarnel_test_folder(NAME LIBRARIES...): one test program from the *_test.cc files of the current
# folder, each test registered with CTest on its own.
function(tarnel_test_folder name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cc)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE tarnel_test_support ${ARGN} GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
