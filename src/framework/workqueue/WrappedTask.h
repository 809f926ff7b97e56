#pragma once
// The guard around every task: exceptions that escape it are reported and consumed, so a worker
// thread survives a faulty task and goes on with the next item.

#include <functional>

#include "foundation/TextConversion.h"

namespace kvx::foundation {

class WrappedTask {
public:
    WrappedTask(std::function<void()> task, SourceLocation source) : mTask(std::move(task)), mSource(source) {}
    void operator()() const;

private:
    std::function<void()> mTask;
    SourceLocation mSource;
};

}  // namespace kvx::foundation
