# tavrello_add_type_library(NAME IDL idl OUTPUT_DIR dir [HEADERS])
# Compiles IDL with widl into OUTPUT_DIR/NAME.tlb and, with HEADERS, also NAME.h and NAME_i.c
# (the interface declarations and their identifiers). Adds the target NAME_generated.
#
# A type library records when widl made it, and this widl reads no SOURCE_DATE_EPOCH: it runs
# under faketime with the clock stopped at TAVRELLO_TYPE_LIBRARY_TIME, so that two builds give
# the same bytes.
find_program(TAVRELLO_FAKETIME faketime)
set(TAVRELLO_TYPE_LIBRARY_TIME "2000-01-01 00:00:00" CACHE STRING
    "The creation time (UTC) written into the type libraries")
if(TAVRELLO_FAKETIME)
    set(tavrello_widl_clock ${CMAKE_COMMAND} -E env TZ=UTC ${TAVRELLO_FAKETIME} -f
        ${TAVRELLO_TYPE_LIBRARY_TIME})
else()
    message(WARNING "faketime not found (Debian package faketime): the type libraries carry the time of the build")
endif()

function(tavrello_add_type_library name)
    cmake_parse_arguments(ARG "HEADERS" "IDL;OUTPUT_DIR" "" ${ARGN})
    set(widl ${TAVRELLO_WIDL} -I ${TAVRELLO_WIDL_INCLUDE_DIR} -L ${TAVRELLO_WIDL_LIBRARY_DIR})
    set(outputs ${ARG_OUTPUT_DIR}/${name}.tlb)
    set(commands COMMAND ${tavrello_widl_clock} ${widl} -t -o ${ARG_OUTPUT_DIR}/${name}.tlb ${ARG_IDL})
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
