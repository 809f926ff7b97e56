# The layers of src, bottom to top. Each is one library that links only the layers below it; its
# Windows-only sources are added in the Windows build only.
set(KVX_LAYERS foundation framework process integration destager)

# kvx_add_layer(<layer> [PORTABLE <files>] [WINDOWS <files>] [LIBS <libs>] [WINDOWS_LIBS <libs>])
# makes kvx_<layer>, linked to the library of the layer just below, and a check, run before its
# sources are compiled, that fails the build when a file of src/<layer> includes a header of a
# layer above it.
function(kvx_add_layer layer)
    cmake_parse_arguments(ARG "" "" "PORTABLE;WINDOWS;LIBS;WINDOWS_LIBS" ${ARGN})
    list(FIND KVX_LAYERS ${layer} index)
    if(index LESS 0)
        message(FATAL_ERROR "kvx_add_layer: ${layer} is not one of ${KVX_LAYERS}")
    endif()
    set(below)
    if(index GREATER 0)
        math(EXPR below_index "${index} - 1")
        list(GET KVX_LAYERS ${below_index} below_layer)
        set(below kvx_${below_layer})
    endif()
    math(EXPR above_index "${index} + 1")
    set(above)
    list(LENGTH KVX_LAYERS count)
    if(above_index LESS count)
        list(SUBLIST KVX_LAYERS ${above_index} -1 above)
    endif()

    set(target kvx_${layer})
    set(sources ${ARG_PORTABLE})
    if(KVX_WINDOWS)
        list(APPEND sources ${ARG_WINDOWS})
    endif()
    if(sources)
        add_library(${target} STATIC ${sources})
        kvx_target_defaults(${target})
        target_link_libraries(${target} PUBLIC ${below} ${ARG_LIBS})
        if(KVX_WINDOWS)
            target_link_libraries(${target} PUBLIC ${ARG_WINDOWS_LIBS})
        endif()
    else()
        # A layer with Windows sources only is an empty link step in the host build.
        add_library(${target} INTERFACE)
        target_link_libraries(${target} INTERFACE ${below})
    endif()

    set(dir ${PROJECT_SOURCE_DIR}/src/${layer})
    set(stamp ${CMAKE_BINARY_DIR}/layer-checks/${layer}.stamp)
    file(GLOB_RECURSE files CONFIGURE_DEPENDS ${dir}/*.h ${dir}/*.cpp)
    add_custom_command(
        OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/layer-checks
        COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-layer-includes ${stamp} ${dir} ${above}
        DEPENDS ${files} ${PROJECT_SOURCE_DIR}/scripts/check-layer-includes
        COMMENT "Checking that src/${layer} includes no layer above it"
        VERBATIM)
    add_custom_target(${target}_includes DEPENDS ${stamp})
    add_dependencies(${target} ${target}_includes)
endfunction()
