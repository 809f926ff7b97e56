# Sources of src/framework (kvx_framework): each subfolder lists its own.
foreach(folder config settings telemetry logging workqueue errors app)
    include(${CMAKE_CURRENT_LIST_DIR}/${folder}/sources.cmake)
endforeach()
