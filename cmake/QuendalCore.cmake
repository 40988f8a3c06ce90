# quendal_core_library(name [LINKS ...]): a Qt-free static library from the folder's *.cpp files.
# Files ending in _dlg.cpp hold window handlers (methods of CQuendalDlg) and files ending in _qt.cpp other
# Qt code of the window; both go to the window instead.
# OS seams end in _posix.cpp or _win32.cpp and only the target's are taken (quendal_platform_sources).
function(quendal_platform_sources var)
    set(srcs ${${var}})
    if(WIN32)
        list(FILTER srcs EXCLUDE REGEX "_posix(_[a-z0-9]+)?\\.cpp$")
    else()
        list(FILTER srcs EXCLUDE REGEX "_win32(_[a-z0-9]+)?\\.cpp$")
    endif()
    set(${var} ${srcs} PARENT_SCOPE)
endfunction()

function(quendal_core_library name)
    cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    list(FILTER srcs EXCLUDE REGEX "_(dlg|qt)\\.cpp$")
    quendal_platform_sources(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LINKS} PRIVATE quendal_core_warnings)
endfunction()
