# Run by CPack on its staging tree before it builds the .deb: strips the programs as dh_strip does, of
# their symbols and of the .comment and .note sections. CMake's own stripping takes no options and
# passes over the simulator, which is installed under a name of its own.
file(GLOB programs "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_QUENDAL_BINDIR}/*")
if(NOT programs)
    message(FATAL_ERROR "no programs to strip in ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(program ${programs})
    execute_process(COMMAND ${CPACK_QUENDAL_STRIP} --remove-section=.comment --remove-section=.note ${program}
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
