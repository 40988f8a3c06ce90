# The version resource and icon of a Windows .exe: file and product version from project(), the company,
# product and description, and the icon drawn from packaging/quendal.svg. windres compiles it into an object
# that is linked like any other, so the project needs no RC language of its own.
#
# quendal_windows_resource(<target> <description>)
# Needs rsvg-convert (librsvg2-bin) and icotool (icoutils) on the build machine.
include_guard(DIRECTORY)

find_program(QUENDAL_RSVG_CONVERT rsvg-convert)
find_program(QUENDAL_ICOTOOL icotool)
if(NOT QUENDAL_RSVG_CONVERT OR NOT QUENDAL_ICOTOOL)
    message(FATAL_ERROR "The Windows icon needs rsvg-convert (Debian package librsvg2-bin) and icotool (icoutils)")
endif()

set(QUENDAL_RC_COMPANY "Quendal developers")
set(QUENDAL_RC_COPYRIGHT "Copyright 2026 Quendal developers")
set(QUENDAL_RC_TEMPLATE ${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in)
set(QUENDAL_RC_SVG ${PROJECT_SOURCE_DIR}/packaging/quendal.svg)

function(quendal_windows_resource target description)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_rc)
    file(MAKE_DIRECTORY ${dir})
    # The program's 32 x 32 image, and the sizes Explorer picks for its lists and large views.
    set(pngs)
    foreach(size 16 32 48 256)
        add_custom_command(OUTPUT ${dir}/icon-${size}.png
                           COMMAND ${QUENDAL_RSVG_CONVERT} -w ${size} -h ${size} -o ${dir}/icon-${size}.png
                                   ${QUENDAL_RC_SVG}
                           DEPENDS ${QUENDAL_RC_SVG} VERBATIM)
        list(APPEND pngs ${dir}/icon-${size}.png)
    endforeach()
    # Windows reads the 256-pixel image as PNG; the small ones as bitmaps.
    list(POP_BACK pngs big)
    add_custom_command(OUTPUT ${dir}/quendal.ico
                       COMMAND ${QUENDAL_ICOTOOL} -c -o ${dir}/quendal.ico ${pngs} -r ${big}
                       DEPENDS ${pngs} ${big} VERBATIM)

    set(QUENDAL_RC_NAME ${target})
    set(QUENDAL_RC_DESCRIPTION "${description}")
    set(QUENDAL_RC_ICON ${dir}/quendal.ico)
    set(QUENDAL_RC_VERSION_COMMAS
        "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")
    if(NOT PROJECT_VERSION_TWEAK)
        string(APPEND QUENDAL_RC_VERSION_COMMAS "0")
    endif()
    configure_file(${QUENDAL_RC_TEMPLATE} ${dir}/version.rc @ONLY)

    # windres runs the C preprocessor for <winver.h>: the toolchain's own compiler, whichever thread model.
    add_custom_command(OUTPUT ${dir}/version.res.obj
                       COMMAND ${CMAKE_RC_COMPILER} --preprocessor=${CMAKE_CXX_COMPILER}
                               --preprocessor-arg=-E --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED
                               -O coff -i ${dir}/version.rc -o ${dir}/version.res.obj
                       DEPENDS ${dir}/version.rc ${dir}/quendal.ico VERBATIM)
    target_sources(${target} PRIVATE ${dir}/version.res.obj)
endfunction()
