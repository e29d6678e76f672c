// The one pattern every setter follows: validate before anything changes, keep the old value,
// store the new one, apply it to the hardware, put the old value back when applying fails, and
// report a failure only when the caller asked for it (a set by identifier does; start-up and
// configuration loading do not).
//
// A setter is then just its own checks and register writes:
//
//     void setHeight(FgXeWrapperImpl& a, int32_t h, bool report) {
//         if (h < 4 || h > 65535 - a.imagePath().yOffset) return reject(kValueOutOfRange, report);
//         commit(a.imagePath().height, h, report, [&] { a.writeRegister(Reg::Bank0YLength, h); });
//     }
#pragma once

#include "host/ErrorCodes.h"
#include "parameters/ParameterTable.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace pellvane {

// A value that is not accepted: nothing has changed.
inline void reject(int32_t code, bool reportErrors) {
    if (reportErrors) fail(code);
}

// Stores `value` in `stored` and runs `apply`; when apply throws an error code, `stored` gets
// its old value back and the code goes to the caller if it asked for it. Register writes that
// already succeeded inside apply stay as they are: the hardware cannot be rolled back.
template <class T, class Apply>
void commit(T& stored, const T& value, bool reportErrors, Apply&& apply) {
    T old = stored;
    stored = value;
    try {
        apply();
    } catch (const Failure&) {
        stored = old;
        if (reportErrors) throw;
    }
}

// Adapters between the untyped buffer of the set/get interface and typed setters and getters.
template <void (*F)(FgXeWrapperImpl&, int32_t, bool)>
void intSetter(FgXeWrapperImpl& a, const void* buffer, bool reportErrors) {
    int32_t v;
    std::memcpy(&v, buffer, sizeof v);
    F(a, v, reportErrors);
}

template <void (*F)(FgXeWrapperImpl&, double, bool)>
void doubleSetter(FgXeWrapperImpl& a, const void* buffer, bool reportErrors) {
    double v;
    std::memcpy(&v, buffer, sizeof v);
    F(a, v, reportErrors);
}

// Strings and field records are handed on as the caller's pointer.
template <void (*F)(FgXeWrapperImpl&, const void*, bool)>
void pointerSetter(FgXeWrapperImpl& a, const void* buffer, bool reportErrors) {
    F(a, buffer, reportErrors);
}

template <int32_t (*F)(FgXeWrapperImpl&)>
void intGetter(FgXeWrapperImpl& a, void* buffer) {
    int32_t v = F(a);
    std::memcpy(buffer, &v, sizeof v);
}

template <double (*F)(FgXeWrapperImpl&)>
void doubleGetter(FgXeWrapperImpl& a, void* buffer) {
    double v = F(a);
    std::memcpy(buffer, &v, sizeof v);
}

// The stored field of a parameter, for configuration files: fieldOf<&FgXeWrapperImpl::imagePath,
// &ImagePathState::width>.
template <auto State, auto Member>
void* fieldOf(FgXeWrapperImpl& a) {
    return &((a.*State)().*Member);
}

// An element of a stored array: elementOf<&FgXeWrapperImpl::trigger, &TriggerState::ccSelect, 2>.
template <auto State, auto Array, std::size_t Index>
void* elementOf(FgXeWrapperImpl& a) {
    return &((a.*State)().*Array)[Index];
}

// A member of an element of a stored array of records.
template <auto State, auto Array, std::size_t Index, auto Member>
void* memberOf(FgXeWrapperImpl& a) {
    return &(((a.*State)().*Array)[Index].*Member);
}

// Copies a stored string with its terminating zero into the caller's buffer.
inline void copyString(const std::string& s, void* buffer) {
    std::memcpy(buffer, s.c_str(), s.size() + 1);
}

} // namespace pellvane
