# Error accounting (portable, so they also run natively under the sanitizers).
kvx_add_test_exe(fw_errors_tests
    SOURCES
        framework/errors/ErrorsTest.cpp
    LIBS kvx_framework
)
# Assertion set-up, stack capture and the crash-report client under Wine: with the logger's Windows tests.
