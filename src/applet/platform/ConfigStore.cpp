#include "platform/ConfigStore.h"

#include "platform/AsciiText.h"

#include <fstream>
#include <string_view>

namespace pellvane::platform {
namespace {

using tarn::templates::platform::RecursiveMutexGuard;

constexpr std::string_view kSectionSeparator = "::";

} // namespace

std::string ConfigStore::normalised(const std::string& key) const {
    return caseSensitive_ ? key : asciiLower(key);
}

bool ConfigStore::readFile(const std::string& path, bool keepExisting, bool overwrite) {
    RecursiveMutexGuard guard(&mutex_);
    std::ifstream file(path);
    if (!file.is_open()) return false;

    // Parse into a copy and swap it in at the end, so that an allocation failure halfway through
    // a large file leaves the store as it was.
    std::map<std::string, std::string> result;
    if (keepExisting) result = entries_;

    std::string section;
    std::string line;
    while (std::getline(file, line)) {
        std::string_view text = line;
        const std::size_t comment = text.find('#');
        if (comment != std::string_view::npos) text = text.substr(0, comment);
        text = trimAscii(text);
        if (text.empty()) continue;

        if (sections_ && text.front() == '[') {
            if (text.size() < 3) continue;
            if (text.back() == ']') {
                section = normalised(std::string(trimAscii(text.substr(1, text.size() - 2))));
                continue;
            }
            // No closing bracket: an ordinary key line, "[" and all.
        }
        if (sections_ && section.empty()) continue;

        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = trimAscii(text.substr(0, equals));
        // "= value" names nothing that could be looked up again.
        if (key.empty()) continue;
        const std::string_view value = trimAscii(text.substr(equals + 1));

        std::string fullKey;
        if (sections_) {
            fullKey = section;
            fullKey += kSectionSeparator;
        }
        fullKey += key;
        fullKey = normalised(fullKey);

        if (overwrite) {
            result.insert_or_assign(std::move(fullKey), std::string(value));
        } else {
            result.try_emplace(std::move(fullKey), value);
        }
    }

    // A read error (a folder opens like a file here, then fails to read) means the file was not
    // really readable: report it as unopened and keep the store as it was.
    if (file.bad()) return false;
    entries_.swap(result);
    return true;
}

bool ConfigStore::storeValue(const std::string& fullKey, const std::string& value) {
    RecursiveMutexGuard guard(&mutex_);
    if (sections_) {
        const std::string_view key = fullKey;
        if (key.starts_with(kSectionSeparator) || key.ends_with(kSectionSeparator)) return false;
    }
    entries_.insert_or_assign(normalised(fullKey), value);
    return true;
}

std::string ConfigStore::fetchValue(const std::string& fullKey, bool* found) const {
    RecursiveMutexGuard guard(&mutex_);
    const auto it = entries_.find(normalised(fullKey));
    const bool present = it != entries_.end();
    if (found != nullptr) *found = present;
    return present ? it->second : std::string();
}

std::vector<std::string> ConfigStore::keysOfSection(const std::string& section) const {
    // Listing runs only during start-up, but holding the store costs nothing and keeps a
    // concurrent store from tearing the walk.
    RecursiveMutexGuard guard(&mutex_);
    std::vector<std::string> keys;
    if (!sections_) return keys;
    const std::string wanted = normalised(section);
    for (const auto& [fullKey, value] : entries_) {
        const std::size_t separator = fullKey.find(kSectionSeparator);
        if (separator == std::string::npos) continue;
        const std::string_view owner = std::string_view(fullKey).substr(0, separator);
        const bool sameSection =
            caseSensitive_ ? owner == wanted : equalsIgnoringAsciiCase(owner, wanted);
        if (sameSection) keys.emplace_back(fullKey.substr(separator + kSectionSeparator.size()));
    }
    return keys;
}

void ConfigStore::setSectionsEnabled(bool on) {
    RecursiveMutexGuard guard(&mutex_);
    sections_ = on;
}

void ConfigStore::setCaseSensitive(bool on) {
    RecursiveMutexGuard guard(&mutex_);
    caseSensitive_ = on;
}

} // namespace pellvane::platform
