# Build-time measures that change nothing in what is built: unity batches for
# the libraries and programs, and one precompiled set of Qt headers shared by
# every test program (each test is a single source that would otherwise parse
# QtCore, QtWidgets and QtTest on its own).

option(VELMAR_UNITY_BUILD "Compile each target's sources in unity batches (faster clean builds)" ON)
option(VELMAR_TEST_PCH "Share one precompiled header of Qt among the test programs" ON)

if(VELMAR_UNITY_BUILD)
    set(CMAKE_UNITY_BUILD ON)
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

# Called once the tests are defined: the test programs reuse the header set
# compiled for the first of them.
function(velmar_share_test_pch tests_dir)
    if(NOT VELMAR_TEST_PCH)
        return()
    endif()
    velmar_targets_below(${tests_dir} targets)
    set(first "")
    foreach(target ${targets})
        get_target_property(type ${target} TYPE)
        if(NOT type STREQUAL "EXECUTABLE" OR NOT target MATCHES "^tst_")
            continue()
        endif()
        # A test that links another Qt module is compiled with that module's
        # macro defined, under which the shared header set is not valid.
        get_target_property(libraries ${target} LINK_LIBRARIES)
        if(libraries MATCHES "Qt[56]?::(Network|WebSockets)")
            continue()
        endif()
        if(first STREQUAL "")
            set(first ${target})
            target_precompile_headers(${target} PRIVATE
                <QtCore/QtCore> <QtTest/QtTest> <QtWidgets/QtWidgets> <QtSerialPort/QSerialPort>)
        else()
            target_precompile_headers(${target} REUSE_FROM ${first})
        endif()
    endforeach()
endfunction()
