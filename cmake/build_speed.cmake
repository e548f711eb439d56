# Build-time measures that change nothing in what the programs do: unity
# batches for the libraries and programs, one precompiled set of Qt headers
# shared by the test programs (each test is a single source that would
# otherwise parse QtCore, QtWidgets and QtTest on its own), tests optimised
# only as far as keeps them quick to compile, and the gold linker.

include(CheckCXXSourceCompiles)

option(VELMAR_UNITY_BUILD "Compile each target's sources in unity batches (faster clean builds)" ON)
option(VELMAR_TEST_PCH "Share precompiled Qt headers among the test programs" ON)
option(VELMAR_GOLD_LINKER "Link with gold when the compiler can" ON)

if(VELMAR_UNITY_BUILD)
    set(CMAKE_UNITY_BUILD ON)
endif()

if(VELMAR_GOLD_LINKER AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    set(CMAKE_REQUIRED_LINK_OPTIONS -fuse-ld=gold)
    check_cxx_source_compiles("int main() { return 0; }" VELMAR_HAVE_GOLD)
    unset(CMAKE_REQUIRED_LINK_OPTIONS)
    if(VELMAR_HAVE_GOLD)
        add_link_options(-fuse-ld=gold)
    endif()
endif()

# Every target defined in a directory and the directories below it.
function(velmar_targets_below dir out)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir ${subdirs})
        velmar_targets_below(${subdir} below)
        list(APPEND targets ${below})
    endforeach()
    set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Called once the tests are defined. A Release build compiles the test
# programs at -O1: they wait on the line far more than they compute. Tests
# that link the same Qt modules reuse the headers compiled for the first of
# them (a module's macro changes what the headers mean, so each set of
# modules has its own).
function(velmar_speed_up_tests tests_dir)
    velmar_targets_below(${tests_dir} targets)
    set(groups "")
    foreach(target ${targets})
        get_target_property(type ${target} TYPE)
        if(NOT type STREQUAL "EXECUTABLE" OR NOT target MATCHES "^tst_")
            continue()
        endif()
        target_compile_options(${target} PRIVATE $<$<CONFIG:Release>:-O1>)
        # One source each: a unity batch would only make it a header to GCC.
        set_target_properties(${target} PROPERTIES UNITY_BUILD OFF)
        if(NOT VELMAR_TEST_PCH)
            continue()
        endif()
        set(group plain)
        set(headers <QtCore/QtCore> <QtTest/QtTest> <QtWidgets/QtWidgets>
                    <QtSerialPort/QSerialPort>)
        get_target_property(libraries ${target} LINK_LIBRARIES)
        if(libraries MATCHES "Qt[56]?::Network")
            set(group network)
            list(APPEND headers <QtNetwork/QtNetwork>)
        endif()
        if(libraries MATCHES "Qt[56]?::WebSockets")
            continue()
        endif()
        if(NOT DEFINED first_of_${group})
            set(first_of_${group} ${target})
            target_precompile_headers(${target} PRIVATE ${headers})
        else()
            target_precompile_headers(${target} REUSE_FROM ${first_of_${group}})
        endif()
    endforeach()
endfunction()
