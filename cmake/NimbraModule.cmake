# nimbra_add_module(<name> SOURCES ... [LINKS ...])
#
# Builds one plug-in module the way the host expects it: a shared library named <name>.so in
# the plug-in folder, linked against the host, finding its sibling modules through $ORIGIN.
function(nimbra_add_module name)
    cmake_parse_arguments(ARG "" "OUTPUT_DIR" "SOURCES;LINKS" ${ARGN})
    if(NOT ARG_OUTPUT_DIR)
        set(ARG_OUTPUT_DIR ${NIMBRA_PLUGIN_DIR})
    endif()
    add_library(${name} SHARED ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES
        PREFIX ""
        SUFFIX ".so"
        LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIR}
        BUILD_RPATH "$ORIGIN;$ORIGIN/../lib;${CMAKE_BINARY_DIR}/lib;${NIMBRA_PLUGIN_DIR}"
        INSTALL_RPATH "$ORIGIN;$ORIGIN/../lib"
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    # Every module defines the same entry points (LibNumberClasses, LibClassDesc, DllMain …).
    # A module's calls to its own functions bind to its own definitions, not to those of a
    # module that happens to be loaded earlier in the global scope (a program linked against
    # `nimbra`, say).
    target_link_options(${name} PRIVATE -Wl,-Bsymbolic-functions)
    target_link_libraries(${name} PUBLIC host ${ARG_LINKS})
endfunction()
