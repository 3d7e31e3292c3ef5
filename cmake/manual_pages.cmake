# The manual pages: each docs/man/NAME.SECTION.scd made into man/NAME.SECTION of the build by
# scdoc, at build time, so that every page has one source. scripts/package installs them; a build
# without scdoc (scripts/setup installs it) makes no pages and says so.
find_program(TARNEL_SCDOC scdoc)
file(GLOB manual_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.scd)
if(NOT TARNEL_SCDOC)
  message(WARNING "scdoc is missing (scripts/setup installs it): no manual pages, no package")
  return()
endif()
set(manual_pages)
foreach(source IN LISTS manual_sources)
  cmake_path(GET source STEM LAST_ONLY page)
  set(output ${PROJECT_BINARY_DIR}/man/${page})
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND sh -c "\"$1\" <\"$2\" >\"$3.new\" && mv \"$3.new\" \"$3\"" sh ${TARNEL_SCDOC} ${source} ${output}
    DEPENDS ${source}
    COMMENT "Making the manual page ${page}"
    VERBATIM)
  list(APPEND manual_pages ${output})
endforeach()
add_custom_target(tarnel_manual_pages ALL DEPENDS ${manual_pages})
