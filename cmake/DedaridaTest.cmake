# dedarida_add_test(NAME SOURCES ... LIBS ... LABELS label)
# One GoogleTest executable, its tests registered with CTest one by one.
find_package(GTest)
include(GoogleTest)

function(dedarida_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
        dedarida_warnings Threads::Threads)
    # The discovery script flattens lists, so each test carries one label.
    list(LENGTH T_LABELS count)
    if(NOT count EQUAL 1)
        message(FATAL_ERROR "${name}: give exactly one label")
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS ${T_LABELS} TIMEOUT 300)
endfunction()
