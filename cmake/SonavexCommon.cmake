# Every target links sonavex_common, so the language level and strictness live
# in one place. Warnings are errors in the test command and CI only: a newer
# compiler's new warning must not stop a user from building and running the tool.
option(SONAVEX_WERROR "Treat compiler warnings as errors" OFF)

add_library(sonavex_common INTERFACE)
target_compile_features(sonavex_common INTERFACE cxx_std_17)
set_property(TARGET sonavex_common PROPERTY INTERFACE_CXX_EXTENSIONS OFF)
target_compile_options(sonavex_common INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wold-style-cast -Wnon-virtual-dtor)
if(SONAVEX_WERROR)
    target_compile_options(sonavex_common INTERFACE -Werror)
endif()
target_compile_definitions(sonavex_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_URL_CAST_FROM_STRING
    QT_USE_QSTRINGBUILDER)

if(SONAVEX_SANITIZE)
    target_compile_options(sonavex_common INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(sonavex_common INTERFACE -fsanitize=address,undefined)
endif()

# A library folder becomes one target built from the files in it.
function(sonavex_library name)
    file(GLOB _sources CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
        ${CMAKE_CURRENT_SOURCE_DIR}/*.ui ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
    add_library(${name} STATIC ${_sources})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC sonavex_common ${ARGN})
endfunction()

# `cmake --build <dir> --target format` formats every C++ file the project tracks.
find_program(CLANG_FORMAT NAMES clang-format clang-format-14)
if(CLANG_FORMAT)
    add_custom_target(format
        COMMAND sh -c "git ls-files -z -- '*.cpp' '*.h' | xargs -0 -r '${CLANG_FORMAT}' -i --style=file"
        WORKING_DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/..
        COMMENT "Formatting with .clang-format"
        VERBATIM)
endif()
