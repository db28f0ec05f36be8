# Every target links sonavex_common, so strictness lives in one place.
add_library(sonavex_common INTERFACE)
target_compile_features(sonavex_common INTERFACE cxx_std_17)
target_compile_options(sonavex_common INTERFACE -Wall -Wextra -Werror)
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
