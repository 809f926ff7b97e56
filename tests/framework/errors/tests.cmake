# Error accounting (portable, so they also run natively under the sanitizers).
kvx_add_test_exe(fw_errors_tests
    SOURCES
        framework/errors/AssertionHandlerTest.cpp
        framework/errors/CrashReportTest.cpp
        framework/errors/ErrorAccumulatorTest.cpp
)
