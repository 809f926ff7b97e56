# The plain records of one update that every layer may take: the command line and its parser,
# the destage context with its builder, the result codes.
list(APPEND KVX_PORTABLE_SOURCES
    foundation/update/DestagerOptions.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    foundation/update/DestageContext.cpp
)
