# CLI11, the header-only command-line parser of teebasket-cli, as the target
# teebasket_cli11. A native build takes Debian's package (libcli11-dev). A
# cross build for Windows takes the same headers, copied into the build tree:
# the host's /usr/include must not reach the Windows compiler.
add_library(teebasket_cli11 INTERFACE)
if(CMAKE_CROSSCOMPILING)
    find_path(TEEBASKET_CLI11_INCLUDE_DIR CLI/CLI.hpp
        PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
    if(NOT TEEBASKET_CLI11_INCLUDE_DIR)
        message(FATAL_ERROR "CLI11's headers are missing: install libcli11-dev (scripts/install-deps)")
    endif()
    set(cli11_copy ${CMAKE_BINARY_DIR}/cli11-include)
    file(COPY ${TEEBASKET_CLI11_INCLUDE_DIR}/CLI DESTINATION ${cli11_copy})
    target_include_directories(teebasket_cli11 SYSTEM INTERFACE ${cli11_copy})
else()
    find_package(CLI11 2.1 CONFIG REQUIRED)
    target_link_libraries(teebasket_cli11 INTERFACE CLI11::CLI11)
endif()
