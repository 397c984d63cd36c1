# dedarida_add_test(NAME SOURCES ... LIBS ... LABELS label)
# One GoogleTest executable, its tests registered with CTest one by one; in a
# cross build, where each run starts wine, the executable is one CTest test.
if(CMAKE_CROSSCOMPILING)
    include(cmake/GoogleTestFromSource.cmake)
else()
    find_package(GTest)
endif()
include(GoogleTest)

function(dedarida_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    # A test file's time goes mostly to GoogleTest's and the JSON library's
    # templates; compiling a target's files together pays for them once.
    set_target_properties(${name} PROPERTIES DEDARIDA_TEST_CODE ON UNITY_BUILD ON)
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
        dedarida_warnings Threads::Threads)
    # Optimising the tests' own code, and its full debug information, took
    # most of the build's time; the code under test keeps the build type's
    # flags, and line tables still place a failure.
    target_compile_options(${name} PRIVATE
        $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-O0>
        # g++ takes a fixture in a file's unnamed namespace, once the file is
        # compiled with the others, for one in a header.
        $<$<CXX_COMPILER_ID:GNU>:-Wno-subobject-linkage>
        $<$<CONFIG:RelWithDebInfo,Debug>:$<IF:$<CXX_COMPILER_ID:Clang>,-gline-tables-only,-g1>>)
    # The discovery script flattens lists, so each test carries one label.
    list(LENGTH T_LABELS count)
    if(NOT count EQUAL 1)
        message(FATAL_ERROR "${name}: give exactly one label")
    endif()
    if(CMAKE_CROSSCOMPILING)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES LABELS ${T_LABELS} TIMEOUT 300)
    else()
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
            PROPERTIES LABELS ${T_LABELS} TIMEOUT 300)
    endif()
endfunction()
