# Debian's hardening flags, as dpkg-buildflags gives them to a package built
# with hardening=+all: a protected stack, fortified libc calls, read-only
# relocations and immediate binding (GCC builds position-independent
# executables by default on Debian). The optimisation and debug flags it also
# gives are left to the build type. Stack clash and control-flow protection,
# which later dpkg versions add and hardening-check asks for, are added where
# the compiler has them.
#
# VELMAR_HARDENING is on by default for Release builds, which the package
# is; sanitizer and fuzzing builds leave it off, as the fortified libc calls
# would slip past their checks.

if(CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT VELMAR_SANITIZE AND NOT VELMAR_FUZZ)
    set(velmar_hardening_default ON)
else()
    set(velmar_hardening_default OFF)
endif()
option(VELMAR_HARDENING "Build with Debian's hardening flags (dpkg-buildflags)"
       ${velmar_hardening_default})

# The words of `dpkg-buildflags --get kind` without -g and -O: empty when
# dpkg-buildflags is missing.
function(velmar_dpkg_buildflags kind out)
    set(words)
    if(VELMAR_DPKG_BUILDFLAGS)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    ${VELMAR_DPKG_BUILDFLAGS} --get ${kind}
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE flags
            OUTPUT_STRIP_TRAILING_WHITESPACE)
        separate_arguments(words UNIX_COMMAND "${flags}")
        list(FILTER words EXCLUDE REGEX "^-(g|O.*)$")
    endif()
    set(${out} ${words} PARENT_SCOPE)
endfunction()

if(VELMAR_HARDENING)
    find_program(VELMAR_DPKG_BUILDFLAGS dpkg-buildflags)
    velmar_dpkg_buildflags(CPPFLAGS velmar_cppflags)
    velmar_dpkg_buildflags(CXXFLAGS velmar_cxxflags)
    velmar_dpkg_buildflags(LDFLAGS velmar_ldflags)
    if(NOT VELMAR_DPKG_BUILDFLAGS)
        # What dpkg-buildflags gives on Debian 12, for systems without it.
        set(velmar_cppflags -D_FORTIFY_SOURCE=2)
        set(velmar_cxxflags -fstack-protector-strong -Wformat -Werror=format-security)
        set(velmar_ldflags -Wl,-z,relro -Wl,-z,now)
    endif()
    include(CheckCXXCompilerFlag)
    foreach(flag -fstack-clash-protection -fcf-protection)
        string(MAKE_C_IDENTIFIER "VELMAR_HAS${flag}" supported)
        check_cxx_compiler_flag(${flag} ${supported})
        if(${supported} AND NOT flag IN_LIST velmar_cxxflags)
            list(APPEND velmar_cxxflags ${flag})
        endif()
    endforeach()
    message(STATUS "Hardening: ${velmar_cppflags} ${velmar_cxxflags} ${velmar_ldflags}")
    add_compile_options(${velmar_cppflags} ${velmar_cxxflags})
    add_link_options(${velmar_ldflags})
endif()
