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

# The fuzzer build links clang's sanitizer runtime, which gold warns about.
if(VELMAR_GOLD_LINKER AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" AND NOT VELMAR_FUZZ)
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

# Qt 6 tells each test the folders it is defined in, for QFINDTESTDATA,
# which no test here uses; the test headers read those macros, so a header set
# compiled for one folder would serve no other. Tell every test the build
# tree, as Qt 5 does.
if(VELMAR_QT6 AND VELMAR_TEST_PCH AND TARGET Qt6::Test)
    set_property(TARGET Qt6::Test PROPERTY INTERFACE_COMPILE_DEFINITIONS
                 QT_TESTLIB_LIB "QT_TESTCASE_BUILDDIR=\"${PROJECT_BINARY_DIR}\"")
endif()

# The header set a test can share, by the Qt modules it links (a module's
# macro changes what the headers mean). Empty: the test keeps its own
# headers.
function(velmar_test_header_group target out)
    get_target_property(libraries ${target} LINK_LIBRARIES)
    set(group plain)
    if(libraries MATCHES "Qt[56]?::WebSockets")
        set(group "")
    elseif(libraries MATCHES "Qt[56]?::Network")
        set(group network)
    endif()
    set(${out} ${group} PARENT_SCOPE)
endfunction()

# Called once the tests are defined. A Release build compiles the test
# programs at -O1: they wait on the line far more than they compute. The
# tests of a group reuse the headers compiled for one of them that defines no
# macro of its own (a header set compiled with a macro serves only tests that
# define it too).
function(velmar_speed_up_tests tests_dir)
    velmar_targets_below(${tests_dir} targets)
    set(tests "")
    foreach(target ${targets})
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "EXECUTABLE" AND target MATCHES "^tst_")
            list(APPEND tests ${target})
        endif()
    endforeach()
    foreach(target ${tests})
        target_compile_options(${target} PRIVATE $<$<CONFIG:Release>:-O1>)
        # One source each: a unity batch would only make it a header to GCC.
        set_target_properties(${target} PROPERTIES UNITY_BUILD OFF)
        velmar_test_header_group(${target} group)
        get_target_property(own_macros ${target} COMPILE_DEFINITIONS)
        if(VELMAR_TEST_PCH AND group AND NOT own_macros AND NOT DEFINED owner_${group})
            set(owner_${group} ${target})
        endif()
    endforeach()
    if(NOT VELMAR_TEST_PCH)
        return()
    endif()
    foreach(target ${tests})
        velmar_test_header_group(${target} group)
        if(NOT group OR NOT DEFINED owner_${group})
            continue()
        endif()
        # A test's moc output is included by its source, which leaves the
        # generated mocs_compilation.cpp empty: loading the headers into it
        # would cost about two seconds a test for nothing.
        get_target_property(binary_dir ${target} BINARY_DIR)
        set_source_files_properties(${binary_dir}/${target}_autogen/mocs_compilation.cpp
            DIRECTORY ${binary_dir} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
        if(target STREQUAL owner_${group})
            set(headers <QtCore/QtCore> <QtTest/QtTest> <QtWidgets/QtWidgets>
                        <QtSerialPort/QSerialPort>)
            if(group MATCHES "^network")
                list(APPEND headers <QtNetwork/QtNetwork>)
            endif()
            target_precompile_headers(${target} PRIVATE ${headers})
        else()
            target_precompile_headers(${target} REUSE_FROM ${owner_${group}})
        endif()
    endforeach()
endfunction()
