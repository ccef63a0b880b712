# omb_add_test(NAME SOURCES ... LIBS ... [TIMEOUT seconds] [WINDOWS_ONLY])
# One test binary, one ctest entry. Under the cross build ctest runs it
# through Wine (the toolchain's emulator).
add_library(omb_test_main STATIC ${CMAKE_CURRENT_LIST_DIR}/../tests/common/test_main.cpp)
target_link_libraries(omb_test_main PUBLIC gtest foundation_core)
target_include_directories(omb_test_main PUBLIC ${PROJECT_SOURCE_DIR})

function(omb_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE omb_test_main ${T_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
endfunction()
