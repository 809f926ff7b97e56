# Sources of src/foundation/fs: portable files in KVX_PORTABLE_SOURCES, Windows-only files in KVX_WINDOWS_SOURCES.
