# nlohmann/json, which is header-only, as the target nlohmann_json::nlohmann_json
# on every build: the build machine's copy (Debian's nlohmann-json3-dev, or
# Homebrew's on a Mac), cross builds included, whose compilers look for
# headers only among the target's. The headers stand alone in an include
# directory of the build's own, so that no other header of the build
# machine comes with them into a cross build.
if(TARGET nlohmann_json::nlohmann_json)
  return()
endif()
find_path(DORVEX_NLOHMANN_JSON_DIR nlohmann/json.hpp NO_CMAKE_FIND_ROOT_PATH)
if(NOT DORVEX_NLOHMANN_JSON_DIR)
  message(FATAL_ERROR
    "No nlohmann/json.hpp: install nlohmann/json (nlohmann-json3-dev)")
endif()
set(dorvex_json_include ${CMAKE_BINARY_DIR}/nlohmann-json)
file(MAKE_DIRECTORY ${dorvex_json_include})
file(CREATE_LINK ${DORVEX_NLOHMANN_JSON_DIR}/nlohmann
     ${dorvex_json_include}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE
                           ${dorvex_json_include})
