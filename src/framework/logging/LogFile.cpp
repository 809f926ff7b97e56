#include "framework/logging/LogFile.h"

#include <fmt/format.h>

#include "framework/logging/LogFormat.h"
#include "framework/telemetry/TelemetryEvent.h"

namespace kvx::services::logging {
namespace {

// The logger's own failures never go into its files, or it could recurse into itself.
void reportLogError(std::string message) {
    foundation::recordTelemetryEvent(foundation::TelemetryEvent("diags.logs.erro").setParam("emsg", std::move(message)));
}

}  // namespace

Result<void, std::string> LogFile::open(std::string path, uint64_t sizeLimit, bool maskPersonalData) {
    mPath = std::move(path);
    mSizeLimit = sizeLimit;
    mMaskPersonalData = maskPersonalData;
    auto stream = mStream.checkedValue();
    auto opened = mStorage.openForAppend(mPath);
    if (opened.isError()) {
        return Err{fmt::format("Could not open log file (logging disabled): path=[{}] errno[{}]", mPath,
                               opened.peekError())};
    }
    *stream = opened.unwrap();
    (*stream)->write("\n");
    (*stream)->flush();
    auto position = (*stream)->position();
    if (position.isError()) {
        const StreamError error = position.peekError();
        stream->reset();
        return Err{fmt::format("Could not obtain offset path=[{}] rdState=[{}] errno=[{}]", mPath, error.rdState,
                               error.errnoValue)};
    }
    mCurrentSize = position.peek();
    mEnabled = true;
    return Ok{};
}

void LogFile::add(std::string_view body) {
    if (!mEnabled) {
        return;
    }
    if (mRotateOnLimit && needsRotation(mCurrentSize + mBatch.size(), mSizeLimit)) {
        writeOut();
        if (mEnabled && needsRotation(mCurrentSize, mSizeLimit)) {
            auto stream = mStream.checkedValue();
            rotate(stream);
        }
        if (!mEnabled) {
            return;
        }
    }
    appendLogLine(mBatch, mPartNumber, body);
    mLineEnds.push_back(mBatch.size());
}

void LogFile::writeOut() {
    if (mEnabled && !mBatch.empty()) {
        auto stream = mStream.checkedValue();
        if ((*stream)->write(mBatch)) {
            mCurrentSize += mBatch.size();
        } else if (handleWriteFailure(stream) && mLineEnds.size() > 1) {
            // The disk is full for the pass, maybe not for each of its lines.
            writeLineByLine(stream);
        }
    }
    mBatch.clear();
    mLineEnds.clear();
}

void LogFile::writeLineByLine(Stream::Access& stream) {
    size_t begin = 0;
    for (const size_t end : mLineEnds) {
        const std::string_view line(mBatch.data() + begin, end - begin);
        begin = end;
        if ((*stream)->write(line)) {
            mCurrentSize += line.size();
        } else if (!handleWriteFailure(stream)) {
            return;
        }
    }
}

bool LogFile::handleWriteFailure(Stream::Access& stream) {
    auto position = (*stream)->position();
    const StreamError error = position.isError() ? position.peekError() : StreamError{kStreamBadBit, kErrnoIo};
    if (error.errnoValue == kErrnoNoSpace) {
        // A full disk may free up again: lose what did not fit but keep the file.
        (*stream)->restore(mCurrentSize);
        return true;
    }
    reportLogError(fmt::format("Failed to get stream offset after write: rdState=[{}] errno=[{}]", error.rdState,
                               error.errnoValue));
    disable(stream);
    return false;
}

void LogFile::rotate(Stream::Access& stream) {
    stream->reset();
    auto renamed = mStorage.replaceFile(mPath, backupPath(mPath));
    if (renamed.isError()) {
        const RenameError& error = renamed.peekError();
        reportLogError(fmt::format("Failed to rename log file err=[{}] strerr=[{}]", error.code, error.text));
        const auto holders = mStorage.processesHolding(mPath);
        if (!holders.empty()) {
            reportLogError(fmt::format("Failed to rename log locked process=[{}]", fmt::join(holders, ", ")));
        }
    }
    auto reopened = mStorage.openForAppend(mPath);
    ++mPartNumber;
    if (reopened.isError()) {
        reportLogError(fmt::format("Could not open log file (logging disabled): path=[{}] errno[{}]", mPath,
                                   reopened.peekError()));
        mEnabled = false;
        return;
    }
    *stream = reopened.unwrap();
    auto position = (*stream)->position();
    mCurrentSize = position.isOk() ? position.peek() : 0;
}

void LogFile::disable(Stream::Access& stream) {
    mEnabled = false;
    stream->reset();
}

void LogFile::flush() {
    auto stream = mStream.checkedValue();
    if (*stream) {
        (*stream)->flush();
    }
}

void LogFile::close() {
    writeOut();
    auto stream = mStream.checkedValue();
    if (mEnabled && *stream) {
        (*stream)->write("goodbye\n");
        (*stream)->flush();
    }
    mEnabled = false;
    stream->reset();
}

}  // namespace kvx::services::logging
