# Sessions, tokens, privileges and other Windows-only helpers of src/foundation/win.
list(APPEND KVX_WINDOWS_SOURCES
    foundation/win/ErrorText.cpp
    foundation/win/FileAccess.cpp
    foundation/win/Privileges.cpp
    foundation/win/ProcessToken.cpp
    foundation/win/Sessions.cpp
    foundation/win/UserEnvironment.cpp
    foundation/win/WinUtilsImpl.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS advapi32 user32)
