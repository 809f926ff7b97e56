#pragma once
// The destager's whole run: guard against a second instance, bring the framework up, apply the
// staged update, record the outcome in machine.ini, relaunch the client and tear down.

namespace kvx::apps {

// The process exit code says only whether the run could start: -3 another destager is running,
// -1 the common application data directory could not be created, otherwise 0. The update's own
// result goes to "machine.destageResult".
int app_main(int argc, const char* const* argv);

}  // namespace kvx::apps
