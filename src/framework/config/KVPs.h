#pragma once
// String keys to string values, parsed from and written to "key=value" lines.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kvx {

class KVPs {
public:
    // Lookups by string_view without building a temporary key.
    struct KeyHash {
        using is_transparent = void;
        size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
    };
    using Map = std::unordered_map<std::string, std::string, KeyHash, std::equal_to<>>;

    // Inserting an existing key replaces its value.
    void set(std::string key, std::string value);
    const std::string* find(std::string_view key) const;
    bool contains(std::string_view key) const { return find(key) != nullptr; }
    size_t size() const { return mPairs.size(); }
    bool empty() const { return mPairs.empty(); }
    void clear() { mPairs.clear(); }
    Map::const_iterator begin() const { return mPairs.begin(); }
    Map::const_iterator end() const { return mPairs.end(); }
    const std::vector<std::string>& comments() const { return mComments; }

    // Configuration-file (".cfg") grammar: sections, "#" comment lines, quotes, true/false as 1/0.
    void addFromTomlString(std::string_view text);
    // machine.ini grammar: one-character separators, optional "#" and "//" comment stripping.
    void addFromString(std::string_view text, std::string_view kvJoint, std::string_view pairsJoint,
                       bool stripComments);
    // Pairs in iteration order, separated by `pairsJoint`, none after the last.
    std::string toString(std::string_view kvJoint, std::string_view pairsJoint) const;

private:
    Map mPairs;
    std::vector<std::string> mComments;
};

}  // namespace kvx
