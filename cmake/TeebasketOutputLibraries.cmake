# The libraries of the output formats: zlib (reading workbooks back),
# libxlsxwriter (writing them) and nlohmann-json (JSON Lines). A Windows cross
# build finds zlib and libxlsxwriter in the folder of
# scripts/build-windows-deps; nlohmann-json is only headers, the machine's own.

find_package(ZLIB)
find_path(XLSXWRITER_INCLUDE_DIR xlsxwriter.h)
find_library(XLSXWRITER_LIBRARY NAMES xlsxwriter)
if(NOT ZLIB_FOUND OR NOT XLSXWRITER_INCLUDE_DIR OR NOT XLSXWRITER_LIBRARY)
    if(WIN32 AND CMAKE_CROSSCOMPILING)
        message(FATAL_ERROR "zlib or libxlsxwriter for Windows is missing from "
                            "${TEEBASKET_WINDOWS_DEPS}: run scripts/build-windows-deps first")
    endif()
    message(FATAL_ERROR "zlib or libxlsxwriter is missing: run scripts/install-deps")
endif()
add_library(Teebasket::xlsxwriter UNKNOWN IMPORTED)
set_target_properties(Teebasket::xlsxwriter PROPERTIES
    IMPORTED_LOCATION "${XLSXWRITER_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${XLSXWRITER_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)

if(CMAKE_CROSSCOMPILING)
    # The machine's headers copied alone: /usr/include itself must not reach
    # a cross compiler.
    find_path(TEEBASKET_NLOHMANN_JSON_DIR nlohmann/json.hpp PATHS /usr/include
        NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT TEEBASKET_NLOHMANN_JSON_DIR)
        message(FATAL_ERROR "nlohmann-json is missing: run scripts/install-deps")
    endif()
    file(COPY "${TEEBASKET_NLOHMANN_JSON_DIR}/nlohmann"
        DESTINATION "${PROJECT_BINARY_DIR}/host-headers")
    add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
    set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES "${PROJECT_BINARY_DIR}/host-headers")
else()
    find_package(nlohmann_json 3.2 REQUIRED)
endif()
