# The hardening that Debian's dpkg-buildflags gives with hardening=+all, for every target of the
# build, not only the package's: root daemons and the set-group-id client are what an attacker
# aims at first. The sanitizer builds keep all of it but _FORTIFY_SOURCE, whose checked copies of
# the string functions would end the program before AddressSanitizer reports the fault it exists
# to show. tests/package/hardening_test.sh reads each built program's ELF for what these leave.
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

add_compile_options(-fstack-protector-strong -fstack-clash-protection
                    -Wformat -Werror=format-security)
# Control-flow protection is the processor's: CET on x86, branch protection on arm64.
check_cxx_compiler_flag(-fcf-protection TARNEL_HAS_CF_PROTECTION)
check_cxx_compiler_flag(-mbranch-protection=standard TARNEL_HAS_BRANCH_PROTECTION)
if(TARNEL_HAS_CF_PROTECTION)
  add_compile_options(-fcf-protection)
elseif(TARNEL_HAS_BRANCH_PROTECTION)
  add_compile_options(-mbranch-protection=standard)
endif()

# _FORTIFY_SOURCE checks only what the optimiser sees, and the C library warns (an error under
# TARNEL_WERROR) when it is asked for without optimisation: only the optimised configurations.
set(TARNEL_FORTIFY OFF)
if(NOT TARNEL_SANITIZE AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  set(TARNEL_FORTIFY ON)
  add_compile_options(-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2)
endif()

add_link_options(-Wl,-z,relro -Wl,-z,now)
