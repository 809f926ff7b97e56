# Sources of src/foundation/archive: portable files in KVX_PORTABLE_SOURCES, Windows-only files in KVX_WINDOWS_SOURCES.
