# GoogleTest built with the cross compiler from the sources Debian's
# googletest package installs; it provides the usual GTest:: targets.
set(DEDARIDA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS "${DEDARIDA_GOOGLETEST_SOURCE}/CMakeLists.txt")
    message(FATAL_ERROR "No GoogleTest sources at ${DEDARIDA_GOOGLETEST_SOURCE} (Debian: apt-get install googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory("${DEDARIDA_GOOGLETEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
