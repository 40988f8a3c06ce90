# Cross builds: nlohmann/json and CLI11 are header-only, so the build machine's Debian packages serve any
# target. Only their own header folders are taken, linked into the build tree; /usr/include as a whole
# holds the build machine's C library and must not reach the cross compiler.
set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${host_headers})
foreach(entry "nlohmann_json::nlohmann_json=nlohmann" "CLI11::CLI11=CLI")
    string(REPLACE "=" ";" parts "${entry}")
    list(GET parts 0 target)
    list(GET parts 1 folder)
    if(NOT EXISTS /usr/include/${folder})
        message(FATAL_ERROR "/usr/include/${folder} is missing: install nlohmann-json3-dev and libcli11-dev")
    endif()
    if(NOT EXISTS ${host_headers}/${folder})
        file(CREATE_LINK /usr/include/${folder} ${host_headers}/${folder} SYMBOLIC)
    endif()
    add_library(${target} INTERFACE IMPORTED)
    target_include_directories(${target} SYSTEM INTERFACE ${host_headers})
endforeach()
