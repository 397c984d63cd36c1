# nlohmann_json is header-only, so a cross build can use the host's copy. Only
# its own directory is put on the include path: the host's other headers are
# Linux's and must stay out of a Windows build.
find_path(DEDARIDA_HOST_JSON nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT DEDARIDA_HOST_JSON)
    message(FATAL_ERROR "No nlohmann/json.hpp on the host (Debian: apt-get install nlohmann-json3-dev)")
endif()
set(staged "${CMAKE_BINARY_DIR}/host-headers")
file(MAKE_DIRECTORY "${staged}")
file(CREATE_LINK "${DEDARIDA_HOST_JSON}/nlohmann" "${staged}/nlohmann" SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE "${staged}")
