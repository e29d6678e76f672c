#pragma once

// The inspection store: key/value pairs read from "inspect.conf" and added by the applet itself.
// With sections on, a key is "<section>::<name>". With the case flag off, keys and section names
// are kept and looked up in lower case.

#include "platform/Locks.h"

#include <map>
#include <string>
#include <vector>

namespace pellvane::platform {

class ConfigStore {
public:
    explicit ConfigStore(bool sections = true, bool caseSensitive = true)
        : sections_(sections), caseSensitive_(caseSensitive) {}

    // Reads "key = value" lines; "#" starts a comment, white space around keys and values does
    // not count, lines that fit no rule are skipped. With sections on, "[name]" opens a section
    // and lines before the first one are ignored. keepExisting off empties the store first;
    // overwrite off keeps the value of a key that is already present. False, and the store
    // untouched, when the file cannot be opened or read.
    bool readFile(const std::string& path, bool keepExisting, bool overwrite);

    // False, storing nothing, when sections are on and the key starts or ends with "::".
    bool storeValue(const std::string& fullKey, const std::string& value);

    // The stored value, or an empty string when the key is absent (*found tells which). The
    // value is a copy: a reference into the map would dangle as soon as another thread stored a
    // new value under the same key.
    std::string fetchValue(const std::string& fullKey, bool* found = nullptr) const;

    // The key parts of every entry of `section`, in key order; empty with sections off.
    std::vector<std::string> keysOfSection(const std::string& section) const;

    void setSectionsEnabled(bool on);
    void setCaseSensitive(bool on);

private:
    std::string normalised(const std::string& key) const;

    std::map<std::string, std::string> entries_;
    bool sections_;
    bool caseSensitive_;
    // Recursive so that a reader may fetch while it already holds the store.
    mutable tarn::templates::platform::RecursiveMutex mutex_;
};

} // namespace pellvane::platform
