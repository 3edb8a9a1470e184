# tavrello_add_type_library(NAME IDL idl OUTPUT_DIR dir [HEADERS])
# Compiles IDL with widl into OUTPUT_DIR/NAME.tlb and, with HEADERS, also NAME.h and NAME_i.c
# (the interface declarations and their identifiers). Adds the target NAME_generated.
function(tavrello_add_type_library name)
    cmake_parse_arguments(ARG "HEADERS" "IDL;OUTPUT_DIR" "" ${ARGN})
    set(widl ${TAVRELLO_WIDL} -I ${TAVRELLO_WIDL_INCLUDE_DIR} -L ${TAVRELLO_WIDL_LIBRARY_DIR})
    set(outputs ${ARG_OUTPUT_DIR}/${name}.tlb)
    set(commands COMMAND ${widl} -t -o ${ARG_OUTPUT_DIR}/${name}.tlb ${ARG_IDL})
    if(ARG_HEADERS)
        list(APPEND outputs ${ARG_OUTPUT_DIR}/${name}.h ${ARG_OUTPUT_DIR}/${name}_i.c)
        list(APPEND commands
            COMMAND ${widl} -h -o ${ARG_OUTPUT_DIR}/${name}.h ${ARG_IDL}
            COMMAND ${widl} -u -o ${ARG_OUTPUT_DIR}/${name}_i.c ${ARG_IDL})
    endif()
    add_custom_command(
        OUTPUT ${outputs}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${ARG_OUTPUT_DIR}
        ${commands}
        DEPENDS ${ARG_IDL}
        COMMENT "Building the ${name} type library"
        VERBATIM)
    add_custom_target(${name}_generated DEPENDS ${outputs})
endfunction()
