# Cross-building for Windows: TagLib is found in the same prefix as the
# Windows Qt, never among the build machine's own libraries.
if(CMAKE_CROSSCOMPILING)
    set(ENV{PKG_CONFIG_LIBDIR} "${QT6_INSTALL_PREFIX}/lib/pkgconfig")
    set(ENV{PKG_CONFIG_PATH} "")
endif()
