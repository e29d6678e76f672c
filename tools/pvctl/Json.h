// A small JSON value for pvctl's --json output: built by the commands, written as one line.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace pvctl {

class Json {
public:
    using Array = std::vector<Json>;
    // Keys keep the order in which they were added, so output reads like the text form.
    using Object = std::vector<std::pair<std::string, Json>>;

    Json() = default; // null
    Json(bool v) : v_(v) {}
    Json(int v) : v_(static_cast<int64_t>(v)) {}
    Json(int64_t v) : v_(v) {}
    Json(uint32_t v) : v_(static_cast<int64_t>(v)) {}
    Json(uint64_t v) : v_(v) {}
    Json(double v) : v_(v) {}
    Json(const char* v) : v_(std::string(v == nullptr ? "" : v)) {}
    Json(std::string v) : v_(std::move(v)) {}
    Json(Array v) : v_(std::move(v)) {}
    Json(Object v) : v_(std::move(v)) {}

    static Json object() { return Json(Object{}); }
    static Json array() { return Json(Array{}); }

    // Adds a member (objects) or an element (arrays); returns *this for chaining.
    Json& set(std::string key, Json value);
    Json& push(Json value);

    // Compact JSON text. Strings are taken as UTF-8; doubles that are not finite become null.
    std::string dump() const;

private:
    std::variant<std::nullptr_t, bool, int64_t, uint64_t, double, std::string, Array, Object> v_ =
        nullptr;
};

} // namespace pvctl
