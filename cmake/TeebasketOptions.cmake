# Build options, compiler warnings and the defaults that golf.ini falls back to.

option(TEEBASKET_BUILD_GUI "Build the desktop window (needs Qt 6)" ON)
option(TEEBASKET_BUILD_PORTAL "Build the demo portal teebasket-portal (needs cpp-httplib and OpenSSL)" ON)
option(TEEBASKET_BUILD_BENCHMARKS "Build the benchmarks in bench/" ON)
option(TEEBASKET_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)
option(TEEBASKET_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TEEBASKET_SANITIZE_THREAD "Build with ThreadSanitizer" OFF)
option(TEEBASKET_FUZZ "Build the libFuzzer harnesses in fuzz/ (clang)" OFF)

# A Windows build runs its integration tests against a portal built natively
# for this machine (the `default` preset's), since the portal itself does not
# build for Windows.
set(TEEBASKET_NATIVE_PORTAL "" CACHE FILEPATH
    "teebasket-portal executable for the tests when this build has none of its own")
# It drives its teebasket-cli.exe with the native CLI test program, which
# starts and watches the portal and the program from outside Wine.
set(TEEBASKET_NATIVE_CLI_TESTS "" CACHE FILEPATH
    "cli_integration_test built for this machine, to drive this build's teebasket-cli under Wine")

# Where the program looks for the portal when golf.ini has no [Portal] keys.
# They point at the demo portal (teebasket-portal) on this machine; a build for
# another portal sets them on the cmake command line.
set(TEEBASKET_DEFAULT_LISTING_HOST "127.0.0.1:48443" CACHE STRING
    "Default [Portal] ListingHost (host or host:port, always HTTPS)")
set(TEEBASKET_DEFAULT_BOOKING_HOST "127.0.0.1:48443" CACHE STRING
    "Default [Portal] BookingHost (host or host:port, always HTTPS)")
set(TEEBASKET_DEFAULT_CA_CERTIFICATE "~/.local/share/teebasket-portal/tls/cert.pem" CACHE STRING
    "Default [Portal] CACertificate: extra trusted PEM certificates (a leading ~/ is the home folder; empty for none)")

add_compile_options(-Wall -Wextra -Wpedantic)
# Every switch over an enumeration names each of its values, even one with a
# default: a new value of an engine's kind must not compile unnoticed. Third-
# party headers come in as system includes, which warnings do not reach.
add_compile_options(-Werror=switch-enum)
if(TEEBASKET_WARNINGS_AS_ERRORS)
    add_compile_options(-Werror)
endif()

if(TEEBASKET_SANITIZE AND TEEBASKET_SANITIZE_THREAD)
    message(FATAL_ERROR "AddressSanitizer and ThreadSanitizer cannot be combined")
endif()
if(TEEBASKET_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(TEEBASKET_SANITIZE_THREAD)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()
if(TEEBASKET_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "The fuzz harnesses need clang (cmake --preset fuzz)")
    endif()
    # Coverage for libFuzzer in every library; the harnesses link the fuzzer.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
