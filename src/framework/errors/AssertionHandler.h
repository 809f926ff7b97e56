#pragma once
// The program's handler for failed checks: it logs the check, records it as telemetry and, in a
// developer (configurable) process, gets a person's attention at most once an hour. It never ends
// the program.

#include <functional>
#include <memory>

#include "foundation/Assert.h"
#include "framework/errors/AssertPlatform.h"

namespace kvx::foundation {

// Installs the process-wide handler and opens the call-stack symbol lookup. A second call before
// terminateAssertions is itself a failed check and changes nothing.
void initAssertions(AssertHandler handler);
// Removes the handler and closes the symbol lookup.
void terminateAssertions();

struct AssertionEnvironment {
    std::shared_ptr<IAssertPlatform> platform;
    // Asked at each failure: the answer is decided after the handler is installed.
    std::function<bool()> isConfigurable;
};

// The handler on this machine's stack capture, debugger and message box, for this process's
// configurable flag.
AssertHandler makeAssertionHandler();
AssertHandler makeAssertionHandler(AssertionEnvironment environment);

}  // namespace kvx::foundation
