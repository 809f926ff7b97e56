# fmt and nlohmann-json come from Debian's header packages. The cross compiler must not see
# /usr/include, so a build-tree folder links just those two header folders.
set(KVX_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${KVX_THIRD_PARTY_INCLUDE})
foreach(dir fmt nlohmann)
    if(NOT EXISTS /usr/include/${dir})
        message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/setup")
    endif()
    file(CREATE_LINK /usr/include/${dir} ${KVX_THIRD_PARTY_INCLUDE}/${dir} SYMBOLIC)
endforeach()

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

# fmt's out-of-line part is one library of its own, built with each preset's flags
# (so after the sanitizer options above).
add_library(kvx_fmt STATIC ${PROJECT_SOURCE_DIR}/third_party/fmt/fmt.cpp)
target_include_directories(kvx_fmt SYSTEM PUBLIC ${KVX_THIRD_PARTY_INCLUDE})

add_library(kvx_third_party INTERFACE)
target_link_libraries(kvx_third_party INTERFACE kvx_fmt)
