# The Windows-free core of both deliverables: parsers and builders that read what the network,
# the registry and the command line hand them. The one list of it: the Windows build makes its
# per-folder libraries from these lists, and the sanitizer build of native/ and the fuzz build of
# tests/fuzz/ compile all of them on the machine's own compilers.
get_filename_component(TAVRELLO_CORE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

set(TAVRELLO_CORE_COMMON_SOURCES
    ${TAVRELLO_CORE_ROOT}/common/browser_command_line.cpp
    ${TAVRELLO_CORE_ROOT}/common/form_encoding.cpp)
set(TAVRELLO_CORE_CLIENT_SOURCES
    ${TAVRELLO_CORE_ROOT}/plugin/client/reply_grammar.cpp
    ${TAVRELLO_CORE_ROOT}/plugin/client/form_body.cpp)
set(TAVRELLO_CORE_TRAY_SOURCES
    ${TAVRELLO_CORE_ROOT}/tray/command_line.cpp
    ${TAVRELLO_CORE_ROOT}/tray/window_size.cpp)
set(TAVRELLO_CORE_REGISTRATION_SOURCES
    ${TAVRELLO_CORE_ROOT}/framework/registration/registry_script.cpp
    ${TAVRELLO_CORE_ROOT}/framework/registration/registration_switch.cpp)
set(TAVRELLO_CORE_SOURCES
    ${TAVRELLO_CORE_COMMON_SOURCES}
    ${TAVRELLO_CORE_CLIENT_SOURCES}
    ${TAVRELLO_CORE_TRAY_SOURCES}
    ${TAVRELLO_CORE_REGISTRATION_SOURCES})

# The Wine-side unit tests of those parts that include no Windows header, built here unchanged.
set(TAVRELLO_CORE_TEST_SOURCES
    ${TAVRELLO_CORE_ROOT}/tests/plugin/client/reply_grammar_test.cpp
    ${TAVRELLO_CORE_ROOT}/tests/common/browser_command_line_test.cpp
    ${TAVRELLO_CORE_ROOT}/tests/tray/command_line_test.cpp
    ${TAVRELLO_CORE_ROOT}/tests/tray/window_size_test.cpp
    ${TAVRELLO_CORE_ROOT}/tests/framework/registry_script_test.cpp
    ${TAVRELLO_CORE_ROOT}/tests/framework/registration_switch_test.cpp)
