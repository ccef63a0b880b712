# omb_add_test(NAME SOURCES ... LIBS ... [TIMEOUT seconds] [NO_UTF8_MANIFEST])
# One test binary, one ctest entry. Under the cross build ctest runs it
# through Wine (the toolchain's emulator). Windows test binaries carry the
# programs' manifest (UTF-8 active code page), except those that test how a
# process of a one-byte code page fares (NO_UTF8_MANIFEST).
add_library(omb_test_main STATIC ${CMAKE_CURRENT_LIST_DIR}/../tests/common/test_main.cpp)
target_link_libraries(omb_test_main PUBLIC gtest foundation_core)
target_include_directories(omb_test_main PUBLIC ${PROJECT_SOURCE_DIR})
if(WIN32)
    target_link_libraries(omb_test_main PUBLIC omb_child_process)
endif()

function(omb_add_test name)
    cmake_parse_arguments(T "NO_UTF8_MANIFEST" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    if(WIN32 AND NOT T_NO_UTF8_MANIFEST)
        omb_add_manifest(${name})
    endif()
    target_link_libraries(${name} PRIVATE omb_test_main ${T_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
endfunction()
