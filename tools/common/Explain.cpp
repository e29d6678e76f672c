#include "Explain.h"

#include <algorithm>
#include <cstdio>

namespace pellvane::tools {

namespace {

constexpr const char* kPulseForm = "FG_TRIGGER_PULSEFORMGEN";
constexpr const char* kFrameRate = "FG_TRIGGER_FRAMESPERSECOND";

std::string attemptedText(const Parameter& p, const Value& v) {
    std::string text = bareValueText(v);
    if (p.type == ValueType::Enum)
        if (std::string s = enumSymbol(p.node, v.integer); !s.empty()) text += " (" + s + ")";
    return text;
}

std::string unitOf(const Parameter* p) {
    return p != nullptr && p->node != nullptr && p->node->unit != nullptr
               ? " " + utf8(p->node->unit)
               : "";
}

// The pulse-form generator a parameter belongs to (0 … 3), or -1.
int generatorOf(const std::string& name) {
    const std::string prefix = kPulseForm;
    if (name.compare(0, prefix.size(), prefix) != 0 || name.size() <= prefix.size()) return -1;
    const char digit = name[prefix.size()];
    return digit >= '0' && digit <= '9' ? digit - '0' : -1;
}

std::string generatorParameter(int n, const char* what) {
    return std::string(kPulseForm) + std::to_string(n) + "_" + what;
}

// One pulse-form generator's part in the timing rule: its delay and width must each stay
// shorter than `downscale` generator periods.
struct PulseForm {
    int generator = 0;
    double downscale = 1, delay = 0, width = 0;
    std::string delayName, widthName, downscaleName;
};

std::optional<PulseForm> readPulseForm(const Board& b, int n, const Parameter& p,
                                       const Value& attempted) {
    PulseForm f;
    f.generator = n;
    f.delayName = generatorParameter(n, "DELAY");
    f.widthName = generatorParameter(n, "WIDTH");
    f.downscaleName = generatorParameter(n, "DOWNSCALE");
    const Parameter* delay = b.lookup(f.delayName);
    const Parameter* width = b.lookup(f.widthName);
    const Parameter* downscale = b.lookup(f.downscaleName);
    if (delay == nullptr || width == nullptr || downscale == nullptr) return std::nullopt;
    try {
        f.delay = p.name == f.delayName ? attempted.real : b.get(*delay).real;
        f.width = p.name == f.widthName ? attempted.real : b.get(*width).real;
        f.downscale = static_cast<double>(p.name == f.downscaleName ? attempted.integer
                                                                    : b.get(*downscale).integer);
    } catch (const BoardError&) {
        return std::nullopt;
    }
    if (f.downscale < 1) f.downscale = 1;
    return f;
}

Explanation explainTiming(const Board& b, const Parameter& p, const Value& attempted) {
    const Parameter* rate = b.lookup(kFrameRate);
    if (rate == nullptr) return {};
    double fps = 0;
    try {
        fps = p.name == kFrameRate ? attempted.real : b.get(*rate).real;
    } catch (const BoardError&) {
        return {};
    }
    if (fps <= 0) return {};
    const double period = 1e6 / fps;
    const std::string us = unitOf(b.lookup(generatorParameter(0, "WIDTH")));
    const int own = generatorOf(p.name);
    for (int n = 0; n < 4; ++n) {
        if (own >= 0 && n != own) continue;
        std::optional<PulseForm> f = readPulseForm(b, n, p, attempted);
        if (!f) continue;
        const bool widthBreaks = f->width / f->downscale >= period;
        const bool delayBreaks = f->delay / f->downscale >= period;
        if (!widthBreaks && !delayBreaks) continue;
        const std::string& culprit = widthBreaks ? f->widthName : f->delayName;
        const double length = widthBreaks ? f->width : f->delay;
        const std::string periods =
            f->downscale == 1 ? "one generator period"
                              : formatDouble(f->downscale) + " generator periods (" +
                                    f->downscaleName + "=" + formatDouble(f->downscale) + ")";
        Explanation e;
        e.why = culprit + " = " + formatDouble(length) + us + " must stay shorter than " + periods +
                "; at " + kFrameRate + "=" + formatDouble(fps) + " a period lasts " +
                formatDouble(period) + us;
        if (p.name == kFrameRate)
            e.hint = "shorten " + culprit + " first, or raise " + f->downscaleName;
        else if (p.name == f->downscaleName)
            e.hint = "shorten " + culprit + " first, or lower " + kFrameRate;
        else
            e.hint = "lower " + std::string(kFrameRate) + " first, or raise " + f->downscaleName;
        return e;
    }
    return {};
}

// "16 to 16384 pixel, in steps of 8" from the node's limits as they are now.
std::string rangeWords(const Parameter& p) {
    std::string limits = limitsText(p.node);
    const std::string unit = unitOf(&p);
    const auto dots = limits.find("..");
    if (dots == std::string::npos) return limits + unit;
    const auto step = limits.find(" step ");
    std::string out =
        limits.substr(0, dots) + " to " +
        limits.substr(dots + 2, step == std::string::npos ? std::string::npos : step - dots - 2) +
        unit;
    if (step != std::string::npos) out += ", in steps of " + limits.substr(step + 6);
    return out;
}

bool inside(const ParameterInfoNode* n, const Value& v) {
    switch (n->kind) {
    case PI_KIND_INT32:
        return v.integer >= static_cast<uint32_t>(n->a.i32.min) &&
               v.integer <= static_cast<uint32_t>(n->a.i32.max);
    case PI_KIND_SINT32:
        return v.integer >= n->a.i32.min && v.integer <= n->a.i32.max;
    case PI_KIND_INT64:
    case PI_KIND_SINT64:
        return v.integer >= n->a.min64 && v.integer <= n->b.max64;
    case PI_KIND_DOUBLE:
        return v.real >= n->a.minD && v.real <= n->b.maxD;
    case PI_KIND_ENUM:
        for (int32_t i = 0; i < n->a.entryCount; ++i)
            if (n->c.entryValues[i] == v.integer) return true;
        return false;
    default:
        return true;
    }
}

} // namespace

Explanation explainRefusal(const Board& b, const Parameter& p, const Value& attempted,
                           int32_t code) {
    const std::string value = attemptedText(p, attempted);
    if (code == kCannotWrite && !p.writable()) {
        if (p.node == nullptr) return {p.name + " is read-only: the host library serves it", ""};
        return {p.name + " is read-only", "`pvctl describe " + p.name + "` tells what it shows"};
    }
    if (code == kTiming || code == kDownscaleTiming) return explainTiming(b, p, attempted);
    if (p.node == nullptr) return {};
    if (p.node->kind == PI_KIND_ENUM && !inside(p.node, attempted))
        return {p.name + " takes one of " + entriesText(p.node) + ", not " + value, ""};
    if (limitsText(p.node).empty()) return {};
    const std::string range = rangeWords(p);
    if (code == kNotMultiple)
        return {p.name + " takes " + range + " now: " + value + " is not one of the steps", ""};
    if (code == kValueNotAccepted) {
        if (!inside(p.node, attempted))
            return {p.name + " takes " + range + " now, not " + value, ""};
        return {p.name + " takes " + range + " now; " + value +
                    " is refused by a rule between it and another parameter",
                "`pvctl describe " + p.name + "` explains the parameter"};
    }
    return {};
}

} // namespace pellvane::tools
