#include "framework/config/KVPs.h"

#include "foundation/Assert.h"
#include "foundation/Logging.h"

namespace kvx {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";
constexpr size_t kSeparatorLength = 1;

std::string_view trim(std::string_view text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

bool isQuote(char c) { return c == '"' || c == '\''; }

// Drops a leading quote and, only then, a trailing one: the file format is forgiving about
// unbalanced quotes rather than rejecting the line.
std::string_view removeQuotes(std::string_view text) {
    if (text.empty() || !isQuote(text.front())) {
        return text;
    }
    text.remove_prefix(1);
    if (!text.empty() && isQuote(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

void KVPs::set(std::string key, std::string value) { mPairs.insert_or_assign(std::move(key), std::move(value)); }

const std::string* KVPs::find(std::string_view key) const {
    auto it = mPairs.find(key);
    return it == mPairs.end() ? nullptr : &it->second;
}

void KVPs::addFromTomlString(std::string_view text) {
    std::string section;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = trim(text.substr(start, end - start));
        start = end + 1;

        if (line.empty()) {
            continue;
        }
        if (line.front() == '#') {
            mComments.emplace_back(line);
            continue;
        }
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = std::string(removeQuotes(line.substr(1, line.size() - 2))) + ".";
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            KVX_LOG_AS("kvx::KVPs::addFromTomlString", services::logging::Error, "Could not parse [{}] from cfg", line);
            continue;
        }
        const std::string_view value = trim(line.substr(equals + 1));
        if (value.empty()) {
            continue;
        }
        std::string key = section + std::string(removeQuotes(trim(line.substr(0, equals))));
        if (value == "true") {
            set(std::move(key), "1");
        } else if (value == "false") {
            set(std::move(key), "0");
        } else {
            set(std::move(key), std::string(removeQuotes(value)));
        }
    }
}

void KVPs::addFromString(std::string_view text, std::string_view kvJoint, std::string_view pairsJoint,
                         bool stripComments) {
    using foundation::AssertLevel;
    if (kvJoint.length() != kSeparatorLength || pairsJoint.length() != kSeparatorLength) {
        KVX_ASSERT(AssertLevel::Error, kSeparatorLength == kvJoint.length(),
                   "Length of key value pair joint should be {}!", kSeparatorLength);
        KVX_ASSERT(AssertLevel::Error, kSeparatorLength == pairsJoint.length(), "Length of pairs joint should be {}!",
                   kSeparatorLength);
        return;
    }
    const char kv = kvJoint.front();
    const char pairs = pairsJoint.front();

    size_t position = 0;
    while (position < text.size()) {
        size_t lineEnd = text.find(pairs, position);
        if (lineEnd == std::string_view::npos) {
            lineEnd = text.size();
        }
        std::string_view line = text.substr(position, lineEnd - position);
        position = lineEnd + 1;

        if (stripComments) {
            size_t cut = line.find('#');
            // Only the line's first slash can open a "//" comment; a slash earlier in the line
            // (a path, a URL scheme) keeps a later "//" in the value.
            const size_t slash = line.find('/');
            if (slash != std::string_view::npos && slash + 1 < line.size() && line[slash + 1] == '/') {
                cut = std::min(cut, slash);
            }
            if (cut != std::string_view::npos) {
                line = line.substr(0, cut);
            }
        }

        const size_t joint = line.find(kv);
        const std::string_view key = trim(line.substr(0, joint));
        if (key.empty() || key.front() == '/' || key.front() == '#') {
            continue;
        }
        const std::string_view value =
            joint == std::string_view::npos ? std::string_view{} : trim(line.substr(joint + 1));
        set(std::string(key), std::string(value));
    }
}

std::string KVPs::toString(std::string_view kvJoint, std::string_view pairsJoint) const {
    std::string out;
    bool first = true;
    for (const auto& [key, value] : mPairs) {
        if (!first) {
            out.append(pairsJoint);
        }
        first = false;
        out.append(key).append(kvJoint).append(value);
    }
    return out;
}

}  // namespace kvx
