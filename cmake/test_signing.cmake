# What the signing tests need, made at build time under the build folder and never committed:
# the test signing identity (tests/support/signing/make_signing_identity.sh) and small sample
# programs to sign, three with an embedded information dictionary (versions 8.0, 6.9 and 10.0)
# and one without, and a library for an attack to load into them. The test programs find them through TARNEL_TEST_SIGNING_DIR and the codesign
# program through TARNEL_CODESIGN_PROGRAM.
set(TARNEL_TEST_SIGNING_DIR ${PROJECT_BINARY_DIR}/test-signing)
# The benchmarks sign their client and a copy of the daemon with the same identity.
set_property(GLOBAL PROPERTY TARNEL_TEST_SIGNING_DIR ${TARNEL_TEST_SIGNING_DIR})
set(signing_sources ${PROJECT_SOURCE_DIR}/tests/support/signing)

set(identity_outputs
    ${TARNEL_TEST_SIGNING_DIR}/identity/anchors/root.pem
    ${TARNEL_TEST_SIGNING_DIR}/identity/team/certificate.pem
    ${TARNEL_TEST_SIGNING_DIR}/identity/other-team/certificate.pem
    ${TARNEL_TEST_SIGNING_DIR}/identity/outside/certificate.pem)
add_custom_command(
  OUTPUT ${identity_outputs}
  COMMAND sh ${signing_sources}/make_signing_identity.sh ${TARNEL_TEST_SIGNING_DIR}/identity
  DEPENDS ${signing_sources}/make_signing_identity.sh
  COMMENT "Making the test signing identity"
  VERBATIM)
add_custom_target(tarnel_test_signing_identity DEPENDS ${identity_outputs})

set(sample_targets tarnel_test_signing_identity)
foreach(version IN ITEMS 8.0 6.9 10.0 none)
  set(target tarnel_sample_program_${version})
  string(REPLACE "." "_" target ${target})
  add_executable(${target} ${signing_sources}/sample_program.cc)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME sample-${version}
    RUNTIME_OUTPUT_DIRECTORY ${TARNEL_TEST_SIGNING_DIR}/programs)
  if(NOT version STREQUAL "none")
    set(plist ${TARNEL_TEST_SIGNING_DIR}/info-${version}.plist)
    file(CONFIGURE OUTPUT ${plist} CONTENT [[<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
	<key>CFBundleIdentifier</key>
	<string>com.quorvant.TarnelSample</string>
	<key>CFBundleShortVersionString</key>
	<string>${version}</string>
</dict>
</plist>
]])
    target_compile_definitions(${target} PRIVATE TARNEL_INFO_PLIST="${plist}")
    set_property(SOURCE ${signing_sources}/sample_program.cc APPEND PROPERTY OBJECT_DEPENDS ${plist})
  endif()
  list(APPEND sample_targets ${target})
endforeach()

# A library that an attack loads into a client (injected_library.cc).
add_library(tarnel_injected_library SHARED ${signing_sources}/injected_library.cc)
set_target_properties(tarnel_injected_library PROPERTIES
  OUTPUT_NAME injected
  LIBRARY_OUTPUT_DIRECTORY ${TARNEL_TEST_SIGNING_DIR}/programs)
list(APPEND sample_targets tarnel_injected_library)

# The test folders are made after this one; their programs are given what they need once all
# folders have been read.
function(tarnel_give_signing_tests_their_fixtures signing_dir targets)
  foreach(tests IN ITEMS linux_code_signing_tests trust_tests tools_tests load_tests)
    if(TARGET ${tests})
      target_compile_definitions(${tests} PRIVATE
        TARNEL_TEST_SIGNING_DIR="${signing_dir}"
        TARNEL_CODESIGN_PROGRAM="$<TARGET_FILE:codesign>")
      add_dependencies(${tests} ${targets} codesign)
    endif()
  endforeach()
endfunction()
# EVAL fixes the arguments now; a deferred call would otherwise read them in the top folder.
cmake_language(EVAL CODE "
  cmake_language(DEFER DIRECTORY [[${PROJECT_SOURCE_DIR}]]
                 CALL tarnel_give_signing_tests_their_fixtures
                 [[${TARNEL_TEST_SIGNING_DIR}]] [[${sample_targets}]])")
