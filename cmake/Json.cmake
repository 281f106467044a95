# nlohmann-json, header-only, from the Debian package (nlohmann-json3-dev).
# The cross builds must not see the host's /usr/include, so every build
# includes a folder of its own that holds only a link to the library's
# header folder.
find_path(VOREN_NLOHMANN_PARENT nlohmann/json.hpp
  PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT VOREN_NLOHMANN_PARENT)
  message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev (scripts/install-deps)")
endif()
set(VOREN_JSON_INCLUDE ${CMAKE_BINARY_DIR}/json-include)
file(MAKE_DIRECTORY ${VOREN_JSON_INCLUDE})
file(CREATE_LINK ${VOREN_NLOHMANN_PARENT}/nlohmann ${VOREN_JSON_INCLUDE}/nlohmann SYMBOLIC)
add_library(voren_json INTERFACE)
target_include_directories(voren_json SYSTEM INTERFACE ${VOREN_JSON_INCLUDE})
