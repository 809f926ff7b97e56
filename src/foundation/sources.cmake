# Sources of src/foundation and its subfolders (kvx_foundation).
list(APPEND KVX_PORTABLE_SOURCES
    foundation/Assert.cpp
    foundation/Clock.cpp
    foundation/Logging.cpp
    foundation/Result.cpp
    foundation/Retry.cpp
    foundation/SafeFormat.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    foundation/SystemLibrary.cpp
    foundation/TextConversion.cpp
)
list(APPEND KVX_LINK_LIBS kvx_third_party ZLIB::ZLIB)
foreach(folder fs archive registry win paths security update)
    include(${CMAKE_CURRENT_LIST_DIR}/${folder}/sources.cmake)
endforeach()
