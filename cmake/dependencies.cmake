# zlib, minizip, libzstd and the Ogg Vorbis libraries as imported targets: Debian's -dev packages natively, and for the
# mingw targets the static libraries that scripts/setup.sh builds into VARDANE_DEPS.
if(WIN32)
    set(VARDANE_DEPS "$ENV{VARDANE_DEPS}" CACHE PATH "Prefix of the mingw builds of the dependencies")
    if(NOT VARDANE_DEPS)
        set(VARDANE_DEPS /opt/vardane-deps CACHE PATH "" FORCE)
    endif()
    set(dep_prefix ${VARDANE_DEPS}/${MINGW_TRIPLE})
    find_library(MINIZIP_LIBRARY NAMES libminizip.a PATHS ${dep_prefix}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    find_path(MINIZIP_INCLUDE_DIR unzip.h PATHS ${dep_prefix}/include/minizip NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    find_library(ZLIB_STATIC_LIBRARY NAMES libz.a PATHS /usr/${MINGW_TRIPLE}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    find_path(ZLIB_STATIC_INCLUDE_DIR zlib.h PATHS /usr/${MINGW_TRIPLE}/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    foreach(var MINIZIP_LIBRARY MINIZIP_INCLUDE_DIR ZLIB_STATIC_LIBRARY ZLIB_STATIC_INCLUDE_DIR)
        if(NOT ${var})
            message(FATAL_ERROR "${var} not found for ${MINGW_TRIPLE}: run scripts/setup.sh first")
        endif()
    endforeach()
    add_library(deps::zlib STATIC IMPORTED)
    set_target_properties(deps::zlib PROPERTIES
        IMPORTED_LOCATION ${ZLIB_STATIC_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${ZLIB_STATIC_INCLUDE_DIR})
    add_library(deps::minizip STATIC IMPORTED)
    set_target_properties(deps::minizip PROPERTIES
        IMPORTED_LOCATION ${MINIZIP_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${MINIZIP_INCLUDE_DIR}
        INTERFACE_LINK_LIBRARIES deps::zlib)

    find_library(ZSTD_LIBRARY NAMES libzstd.a PATHS ${dep_prefix}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT ZSTD_LIBRARY OR NOT EXISTS ${dep_prefix}/include/zstd.h)
        message(FATAL_ERROR "libzstd.a not found for ${MINGW_TRIPLE}: run scripts/setup.sh first")
    endif()
    add_library(deps::zstd STATIC IMPORTED)
    set_target_properties(deps::zstd PROPERTIES
        IMPORTED_LOCATION ${ZSTD_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${dep_prefix}/include)

    # libvorbisenc is only for the tests, which make their own Ogg Vorbis fixtures.
    set(previous "")
    foreach(lib ogg vorbis vorbisfile vorbisenc)
        find_library(${lib}_LIBRARY NAMES lib${lib}.a PATHS ${dep_prefix}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
        if(NOT ${lib}_LIBRARY)
            message(FATAL_ERROR "lib${lib}.a not found for ${MINGW_TRIPLE}: run scripts/setup.sh first")
        endif()
        add_library(deps::${lib} STATIC IMPORTED)
        set_target_properties(deps::${lib} PROPERTIES
            IMPORTED_LOCATION ${${lib}_LIBRARY}
            INTERFACE_INCLUDE_DIRECTORIES ${dep_prefix}/include)
    endforeach()
    set_target_properties(deps::vorbis PROPERTIES INTERFACE_LINK_LIBRARIES deps::ogg)
    set_target_properties(deps::vorbisfile PROPERTIES INTERFACE_LINK_LIBRARIES deps::vorbis)
    set_target_properties(deps::vorbisenc PROPERTIES INTERFACE_LINK_LIBRARIES deps::vorbis)
else()
    find_package(ZLIB REQUIRED)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
    add_library(deps::zlib ALIAS ZLIB::ZLIB)
    add_library(deps::minizip INTERFACE IMPORTED)
    target_link_libraries(deps::minizip INTERFACE PkgConfig::MINIZIP ZLIB::ZLIB)
    pkg_check_modules(ZSTD REQUIRED IMPORTED_TARGET libzstd)
    add_library(deps::zstd ALIAS PkgConfig::ZSTD)
    pkg_check_modules(VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile)
    pkg_check_modules(VORBISENC REQUIRED IMPORTED_TARGET vorbisenc vorbis ogg)
    add_library(deps::vorbisfile ALIAS PkgConfig::VORBISFILE)
    add_library(deps::vorbisenc ALIAS PkgConfig::VORBISENC)
    # An independent WAV reader and writer for the tests.
    pkg_check_modules(SNDFILE IMPORTED_TARGET sndfile)
endif()
