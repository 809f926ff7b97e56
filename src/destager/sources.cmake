# Sources of src/destager (kvx_destager): loop checks, error telemetry and staged-file validation,
# the folder swap with rollback and symlink mode, orchestration and the repair state, the main
# flow; and KorvDestager.exe.
list(APPEND KVX_PORTABLE_SOURCES
    destager/AfterUpdatePlan.cpp
    destager/ArchiveEntryPath.cpp
    destager/CrashPoints.cpp
    destager/ErrorKinds.cpp
    destager/LoopCheck.cpp
    destager/TelemetryRecord.cpp
    destager/TelemetryRecordDecoding.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    destager/AppMain.cpp
    destager/ClientFileVersion.cpp
    destager/EarlyValidation.cpp
    destager/ErrorTelemetry.cpp
    destager/FolderSwap.cpp
    destager/LoopDetection.cpp
    destager/RepairState.cpp
    destager/RestoreInstall.cpp
    destager/ResumeEntry.cpp
    destager/StagedFileCrcs.cpp
    destager/StagedFileValidation.cpp
    destager/SymlinkMode.cpp
    destager/UpdateOrchestration.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS ole32 shell32)

if(KVX_WINDOWS)
    # KorvDestager.exe: the windowless entry, its manifest and version resource (both from the one
    # project version), and the resource container beside it.
    set(KVX_DESTAGER_GENERATED ${CMAKE_BINARY_DIR}/generated/destager)
    set(KVX_MANIFEST_PATH ${KVX_DESTAGER_GENERATED}/KorvDestager.manifest)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/resources/KorvDestager.manifest.in ${KVX_MANIFEST_PATH} @ONLY)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/resources/KorvDestager.rc.in ${KVX_DESTAGER_GENERATED}/KorvDestager.rc @ONLY)
    add_executable(KorvDestager WIN32 ${CMAKE_CURRENT_LIST_DIR}/WinMain.cpp ${KVX_DESTAGER_GENERATED}/KorvDestager.rc)
    kvx_target_defaults(KorvDestager)
    set_target_properties(KorvDestager PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    set_source_files_properties(${KVX_DESTAGER_GENERATED}/KorvDestager.rc PROPERTIES OBJECT_DEPENDS ${KVX_MANIFEST_PATH})
    target_link_options(KorvDestager PRIVATE -municode)
    target_link_libraries(KorvDestager PRIVATE kvx_destager)
    kvx_copy_resources_beside(KorvDestager)
endif()
