# fmt and nlohmann-json are used header-only from Debian's packages. The cross compiler must not
# see /usr/include, so a build-tree folder links just those two header folders.
set(KVX_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${KVX_THIRD_PARTY_INCLUDE})
foreach(dir fmt nlohmann)
    if(NOT EXISTS /usr/include/${dir})
        message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/setup")
    endif()
    file(CREATE_LINK /usr/include/${dir} ${KVX_THIRD_PARTY_INCLUDE}/${dir} SYMBOLIC)
endforeach()

add_library(kvx_third_party INTERFACE)
target_include_directories(kvx_third_party SYSTEM INTERFACE ${KVX_THIRD_PARTY_INCLUDE})
target_compile_definitions(kvx_third_party INTERFACE FMT_HEADER_ONLY)

# Static zlib on Windows, so no zlib1.dll is imported.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

if(KVX_WINDOWS)
    # Static runtime: the executables import Windows system DLLs only.
    add_link_options(-static -static-libgcc -static-libstdc++)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
    find_package(GTest REQUIRED)
    if(KVX_TSAN)
        add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
        add_link_options(-fsanitize=thread)
    elseif(KVX_SANITIZE)
        add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
        add_link_options(-fsanitize=address,undefined)
    endif()
endif()
