# Work queues, their workers and timers (portable); thread names and COM through Win32.
list(APPEND KVX_PORTABLE_SOURCES
    framework/workqueue/NamedThread.cpp
    framework/workqueue/WorkItem.cpp
    framework/workqueue/WorkQueue.cpp
    framework/workqueue/WorkQueueSystem.cpp
    framework/workqueue/WorkQueueTimerDispatcher.cpp
    framework/workqueue/WorkerThreadManager.cpp
    framework/workqueue/WrappedTask.cpp
)
list(APPEND KVX_WINDOWS_SOURCES
    framework/workqueue/Win32ThreadPlatform.cpp
)
list(APPEND KVX_WINDOWS_LINK_LIBS ole32)
