#include "Commands.h"

#include "FramePng.h"
#include "TreeText.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace pvctl {

namespace {

// Info queries.
constexpr int32_t kInfoDescription = 0x1000, kInfoDesign = 0x1010, kInfoProperties = 0x1020,
                  kInfoUuid = 0x413, kInfoName = 0x1050, kInfoVersion = 0x1060, kInfoBuild = 0x1070;
// Values of the enumerations pvctl drives itself.
constexpr int32_t kGray8 = 3, kGray16 = 1;
constexpr int32_t kSoftwareMode = 4, kExternalMode = 2;
constexpr int32_t kActive = 0;
constexpr int32_t kLutCustom = 0;
constexpr int32_t kSoftwareTriggerBusy = -60;
constexpr uint32_t kLutEntries = 4096;
constexpr int64_t kGrabBuffers = 8;
constexpr int64_t kMaxGrab = 1000000;

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool contains(const std::string& text, const std::string& filter) {
    return filter.empty() || lower(text).find(lower(filter)) != std::string::npos;
}

int64_t parseCount(const std::string& text, int64_t min, int64_t max, const char* what) {
    int64_t v = 0;
    std::size_t used = 0;
    try {
        v = std::stoll(text, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || v < min || v > max)
        throw UsageError(std::string(what) + " must be a whole number from " + std::to_string(min) +
                         " to " + std::to_string(max) + ", not '" + text + "'");
    return v;
}

std::string absolute(const std::string& file) {
    std::error_code ec;
    auto p = std::filesystem::absolute(file, ec);
    return ec ? file : p.string();
}

void print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// ---- values and limits as text and JSON ----

Json valueJson(const Parameter&, const Value& v) {
    switch (v.type) {
    case ValueType::Double:
        return Json(v.real);
    case ValueType::Text:
        return Json(v.text);
    case ValueType::LutField:
        return Json(); // the table is read with `lut show`
    default:
        return Json(v.integer);
    }
}

// The value, or the error that reading it gave, for listings that must go on.
struct Reading {
    bool ok = false;
    Value value;
    int32_t error = 0;
};

Reading readValue(const Board& b, const Parameter& p) {
    Reading r;
    try {
        r.value = b.get(p);
        r.ok = true;
    } catch (const BoardError& e) {
        r.error = e.code();
    }
    return r;
}

std::string readingText(const Parameter& p, const Reading& r) {
    return r.ok ? valueText(p, r.value) : "(error " + std::to_string(r.error) + ")";
}

Json readingJson(const Parameter& p, const Reading& r) {
    return r.ok ? valueJson(p, r.value) : Json();
}

// Limits as the information node gives them now ("16..16384 step 8"), "" when it has none.
std::string limitsText(const ParameterInfoNode* n) {
    if (n == nullptr) return "";
    auto range = [](const std::string& lo, const std::string& hi, const std::string& step) {
        return lo + ".." + hi + (step.empty() ? "" : " step " + step);
    };
    switch (n->kind) {
    case PI_KIND_INT32:
    case PI_KIND_SINT32: {
        if (n->a.i32.min == 0 && n->a.i32.max == 0 && n->b.i32.inc == 0) return "";
        auto text = [&](int32_t v) {
            return n->kind == PI_KIND_INT32 ? std::to_string(static_cast<uint32_t>(v))
                                            : std::to_string(v);
        };
        return range(text(n->a.i32.min), text(n->a.i32.max),
                     n->b.i32.inc > 1 ? std::to_string(n->b.i32.inc) : "");
    }
    case PI_KIND_INT64:
        return range(std::to_string(static_cast<uint64_t>(n->a.min64)),
                     std::to_string(static_cast<uint64_t>(n->b.max64)),
                     n->c.inc64 > 1 ? std::to_string(n->c.inc64) : "");
    case PI_KIND_SINT64:
        return range(std::to_string(n->a.min64), std::to_string(n->b.max64),
                     n->c.inc64 > 1 ? std::to_string(n->c.inc64) : "");
    case PI_KIND_DOUBLE:
        // An increment of the order of 2^-52 means "any value".
        return range(formatDouble(n->a.minD), formatDouble(n->b.maxD),
                     n->c.incD > 1e-9 ? formatDouble(n->c.incD) : "");
    case PI_KIND_INT_FIELD:
        return std::to_string(n->b.i32.inc) + " entries of " + std::to_string(n->a.i32.min) + ".." +
               std::to_string(n->a.i32.max);
    case PI_KIND_STRING:
        return n->b.pattern != nullptr ? std::string("files ") + n->b.pattern : "";
    default:
        return "";
    }
}

std::string entriesText(const ParameterInfoNode* n) {
    std::string out;
    if (n == nullptr || n->kind != PI_KIND_ENUM) return out;
    for (int32_t i = 0; i < n->a.entryCount; ++i) {
        if (i != 0) out += ", ";
        out += utf8(n->entrySymbols[i]) + "=" + std::to_string(n->c.entryValues[i]) + " \"" +
               utf8(n->b.entryDisplayNames[i]) + "\"";
    }
    return out;
}

// The description of a parameter's node for JSON: type, access, limits, unit, entries.
void nodeJson(const Parameter& p, Json& j) {
    j.set("type", typeName(p.type)).set("access", accessText(p));
    const ParameterInfoNode* n = p.node;
    if (n == nullptr) return;
    j.set("display", utf8(n->displayName)).set("category", p.category);
    j.set("unit", n->unit != nullptr ? Json(utf8(n->unit)) : Json());
    switch (n->kind) {
    case PI_KIND_INT32:
        j.set("min", static_cast<uint32_t>(n->a.i32.min))
            .set("max", static_cast<uint32_t>(n->a.i32.max))
            .set("inc", n->b.i32.inc);
        break;
    case PI_KIND_SINT32:
        j.set("min", n->a.i32.min).set("max", n->a.i32.max).set("inc", n->b.i32.inc);
        break;
    case PI_KIND_INT64:
        j.set("min", static_cast<uint64_t>(n->a.min64))
            .set("max", static_cast<uint64_t>(n->b.max64))
            .set("inc", n->c.inc64);
        break;
    case PI_KIND_SINT64:
        j.set("min", n->a.min64).set("max", n->b.max64).set("inc", n->c.inc64);
        break;
    case PI_KIND_DOUBLE:
        j.set("min", n->a.minD).set("max", n->b.maxD).set("inc", n->c.incD);
        break;
    case PI_KIND_INT_FIELD:
        j.set("min", n->a.i32.min).set("max", n->a.i32.max).set("count", n->b.i32.inc);
        break;
    case PI_KIND_STRING:
        j.set("pattern", n->b.pattern != nullptr ? Json(n->b.pattern) : Json());
        break;
    case PI_KIND_ENUM: {
        Json entries = Json::array();
        for (int32_t i = 0; i < n->a.entryCount; ++i)
            entries.push(Json::object()
                             .set("symbol", utf8(n->entrySymbols[i]))
                             .set("value", n->c.entryValues[i])
                             .set("display", utf8(n->b.entryDisplayNames[i])));
        j.set("entries", std::move(entries));
        break;
    }
    default:
        break;
    }
}

// ---- commands ----

void runInfo(Context& ctx, const Args&) {
    Board& b = ctx.open();
    const std::pair<const char*, int32_t> rows[] = {
        {"applet", kInfoName},   {"version", kInfoVersion},         {"build", kInfoBuild},
        {"design", kInfoDesign}, {"description", kInfoDescription}, {"properties", kInfoProperties},
        {"uuid", kInfoUuid}};
    Json j = Json::object();
    std::string text;
    for (const auto& [key, query] : rows) {
        std::string v = b.infoText(query);
        j.set(key, v);
        text += std::string(key) + std::string(13 - std::string(key).size(), ' ') + v + "\n";
    }
    j.set("board", ctx.boardIndex).set("parameters", static_cast<int64_t>(b.parameters().size()));
    text += "board        " + std::to_string(ctx.boardIndex) + "\n";
    text += "parameters   " + std::to_string(b.parameters().size()) + "\n";
    ctx.json ? ctx.emit(j) : print(text);
}

void runList(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    const std::string filter = a.positional.empty() ? "" : a.positional[0];
    Json j = Json::array();
    std::string text;
    char line[512];
    std::snprintf(line, sizeof line, "%-46s %7s %-6s %-6s %s\n", "NAME", "ID", "TYPE", "ACCESS",
                  "VALUE");
    text += line;
    for (const Parameter& p : b.parameters()) {
        if (!contains(p.name, filter)) continue;
        Reading r = readValue(b, p);
        j.push(Json::object()
                   .set("index", p.index)
                   .set("name", p.name)
                   .set("id", p.id)
                   .set("type", typeName(p.type))
                   .set("access", accessText(p))
                   .set("value", readingJson(p, r)));
        std::snprintf(line, sizeof line, "%-46s %7d %-6s %-6s ", p.name.c_str(), p.id,
                      typeName(p.type), accessText(p).c_str());
        text += line + readingText(p, r) + "\n";
    }
    ctx.json ? ctx.emit(j) : print(text);
}

// Prints a category and what it holds; returns false (and prints nothing) when nothing in it
// matches the filter.
bool treeCategory(const Board& b, const ParameterInfoNode* c, const std::string& path, int depth,
                  const std::string& filter, std::string& text, Json& out) {
    const std::string name = utf8(c->displayName);
    const std::string here = path.empty() ? name : path + " / " + name;
    const bool all = contains(here, filter);
    std::string inner;
    Json children = Json::array();
    bool any = false;
    const std::string indent(static_cast<std::size_t>(depth + 1) * 2, ' ');
    for (int32_t i = 0; i < c->a.childCount; ++i) {
        const ParameterInfoNode* n = c->b.children[i];
        if (n->kind == PI_KIND_CATEGORY) {
            any |= treeCategory(b, n, here, depth + 1, all ? "" : filter, inner, children);
            continue;
        }
        const std::string pname = n->name != nullptr ? n->name : "";
        if (!all && !contains(pname, filter)) continue;
        any = true;
        const Parameter& p = b.find(pname);
        Reading r = readValue(b, p);
        std::string line = indent + pname + " \"" + utf8(n->displayName) + "\" " +
                           typeName(p.type) + " " + accessText(p);
        if (std::string l = limitsText(n); !l.empty()) line += " " + l;
        if (n->unit != nullptr) line += " " + utf8(n->unit);
        if (p.type != ValueType::LutField) line += " = " + readingText(p, r);
        inner += line + "\n";
        if (std::string e = entriesText(n); !e.empty()) inner += indent + "    one of " + e + "\n";
        Json pj = Json::object().set("name", pname).set("id", p.id);
        nodeJson(p, pj);
        pj.set("value", readingJson(p, r));
        children.push(std::move(pj));
    }
    if (!any && !all) return false;
    text += std::string(static_cast<std::size_t>(depth) * 2, ' ') + name + "\n" + inner;
    out.push(Json::object().set("category", name).set("children", std::move(children)));
    return true;
}

void runTree(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    if (a.flag("--raw")) {
        print(pellvane::tools::describeTree(Fg_getParameterInfo(b.handle(), 0)));
        return;
    }
    const std::string filter = a.positional.empty() ? "" : a.positional[0];
    std::string text;
    Json j = Json::array();
    for (const ParameterInfoNode* root : b.roots())
        treeCategory(b, root, "", 0, filter, text, j);
    if (text.empty() && !filter.empty())
        throw BoardError(kInvalidParameter, "tree " + filter,
                         "no category or parameter matches '" + filter + "'");
    ctx.json ? ctx.emit(j) : print(text);
}

void runGet(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    Json j = Json::object();
    std::string text;
    for (const std::string& name : a.positional) {
        const Parameter& p = b.find(name);
        Value v = b.get(p);
        j.set(p.name, valueJson(p, v));
        if (a.flag("--value"))
            text += (v.type == ValueType::Text     ? v.text
                     : v.type == ValueType::Double ? formatDouble(v.real)
                                                   : std::to_string(v.integer)) +
                    "\n";
        else
            text += p.name + " = " + valueText(p, v) + "\n";
    }
    ctx.json ? ctx.emit(j) : print(text);
}

void runSet(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    Json j = Json::object();
    std::string text;
    for (const std::string& pair : a.positional) {
        auto eq = pair.find('=');
        if (eq == std::string::npos || eq == 0)
            throw UsageError("set takes NAME=VALUE, not '" + pair + "'");
        const Parameter& p = b.find(pair.substr(0, eq));
        b.set(p, pair.substr(eq + 1));
        // What the applet holds now (a debounce time, say, comes back quantised).
        Reading r = readValue(b, p);
        j.set(p.name, readingJson(p, r));
        text += p.name + " = " + readingText(p, r) + "\n";
    }
    ctx.json ? ctx.emit(j) : print(text);
}

void runDescribe(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    Json all = Json::object();
    std::string text;
    for (const std::string& name : a.positional) {
        const Parameter& p = b.find(name);
        const std::string description = b.describe(p.name);
        Reading r = readValue(b, p);
        Json j = Json::object().set("id", p.id).set("description", description);
        nodeJson(p, j);
        j.set("value", readingJson(p, r));
        all.set(p.name, std::move(j));

        text += p.name + " (id " + std::to_string(p.id) + ")\n";
        text += "  " + (description.empty() ? std::string("(no description)") : description) + "\n";
        const ParameterInfoNode* n = p.node;
        if (n != nullptr)
            text += "  display   \"" + utf8(n->displayName) + "\" in " + p.category + "\n";
        text += "  type      " + std::string(typeName(p.type)) + ", " + accessText(p) +
                (p.node == nullptr ? " (served by the host library)" : "") + "\n";
        if (std::string l = limitsText(n); !l.empty()) text += "  limits    " + l + "\n";
        if (n != nullptr && n->unit != nullptr) text += "  unit      " + utf8(n->unit) + "\n";
        if (std::string e = entriesText(n); !e.empty()) text += "  values    " + e + "\n";
        if (p.type != ValueType::LutField) text += "  value     " + readingText(p, r) + "\n";
    }
    ctx.json ? ctx.emit(all) : print(text);
}

void runSave(Context& ctx, const Args& a) {
    ctx.open().saveConfig(a.positional[0]);
    ctx.json ? ctx.emit(Json::object().set("saved", a.positional[0]))
             : print("saved " + a.positional[0] + "\n");
}

void runLoad(Context& ctx, const Args& a) {
    ctx.open().loadConfig(a.positional[0]);
    ctx.json ? ctx.emit(Json::object().set("loaded", a.positional[0]))
             : print("loaded " + a.positional[0] + "\n");
}

void runLut(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    const std::string& what = a.positional[0];
    if (what == "save" || what == "load") {
        if (a.positional.size() != 2) throw UsageError("lut " + what + " takes one FILE");
        // Absolute, so that a configuration saved now finds the file from anywhere.
        const std::string file = absolute(a.positional[1]);
        if (what == "save") {
            b.set(b.find("FG_LUT_SAVE_FILE"), file);
        } else {
            // The applet reads the file when the table type is "user file".
            b.set(b.find("FG_LUT_CUSTOM_FILE"), file);
            if (b.getInt("FG_LUT_TYPE") != kLutCustom) b.setInt("FG_LUT_TYPE", kLutCustom);
        }
        ctx.json ? ctx.emit(Json::object().set(what == "save" ? "saved" : "loaded", file))
                 : print((what == "save" ? "saved the lookup table to " : "loaded ") + file +
                         (what == "load" ? " (FG_LUT_TYPE=LUT_TYPE_CUSTOM)" : "") + "\n");
        return;
    }
    if (what != "show") throw UsageError("lut takes save, load or show, not '" + what + "'");
    const auto first = static_cast<uint32_t>(
        a.positional.size() > 1 ? parseCount(a.positional[1], 0, kLutEntries - 1, "FIRST") : 0);
    const auto count = static_cast<uint32_t>(
        a.positional.size() > 2 ? parseCount(a.positional[2], 1, kLutEntries - first, "COUNT")
                                : kLutEntries - first);
    Json values = Json::array();
    std::string text;
    for (uint32_t i = first; i < first + count; ++i) {
        uint32_t v = b.lutEntry(i);
        values.push(v);
        char cell[32];
        if ((i - first) % 8 == 0) {
            std::snprintf(cell, sizeof cell, "%s%4u:", i == first ? "" : "\n", i);
            text += cell;
        }
        std::snprintf(cell, sizeof cell, " %4u", v);
        text += cell;
    }
    ctx.json ? ctx.emit(Json::object().set("first", first).set("values", std::move(values)))
             : print(text + "\n");
}

void runXml(Context& ctx, const Args& a) {
    const std::string xml = ctx.open().xml();
    if (const std::string* file = a.option("--output")) {
        std::ofstream out(*file, std::ios::binary);
        out << xml;
        out.close();
        if (!out) throw BoardError(-5001, "write " + *file, "check the folder and its permissions");
        ctx.json
            ? ctx.emit(
                  Json::object().set("file", *file).set("bytes", static_cast<uint64_t>(xml.size())))
            : print("wrote " + *file + " (" + std::to_string(xml.size()) + " bytes)\n");
        return;
    }
    ctx.json ? ctx.emit(Json::object().set("xml", xml)) : print(xml);
}

// One software pulse; a trigger system still busy with the previous one is given a moment.
void sendPulse(Board& b, int32_t id) {
    const uint32_t one = 1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
        int32_t r = Fg_setParameterWithType(b.handle(), id, &one, 0, FG_PARAM_TYPE_UINT32_T);
        if (r == 0) return;
        if (r != kSoftwareTriggerBusy || std::chrono::steady_clock::now() > deadline)
            throw BoardError(r, "software trigger",
                             r == -2140 || r == -2141
                                 ? "in the same invocation: pvctl set "
                                   "FG_AREATRIGGERMODE=ATM_SOFTWARE FG_TRIGGERSTATE=TS_ACTIVE "
                                   "+ trigger"
                                 : "");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void runTrigger(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    const int64_t count = a.positional.empty() ? 1 : parseCount(a.positional[0], 1, 2040, "COUNT");
    const Parameter& send = b.find("FG_SENDSOFTWARETRIGGER");
    if (b.getInt("FG_TRIGGERQUEUE_MODE") == 1) {
        // The queue takes the whole burst at once.
        b.set(send, std::to_string(count));
    } else {
        for (int64_t i = 0; i < count; ++i)
            sendPulse(b, send.id);
    }
    ctx.json ? ctx.emit(Json::object().set("sent", count))
             : print("sent " + std::to_string(count) + " software trigger pulse" +
                     (count == 1 ? "" : "s") + "\n");
}

void progressBar(int64_t done, int64_t total) {
    constexpr int kBar = 40;
    const int filled = static_cast<int>(done * kBar / total);
    std::fprintf(stderr, "\r[%s%s] %lld/%lld", std::string(filled, '#').c_str(),
                 std::string(kBar - filled, '.').c_str(), static_cast<long long>(done),
                 static_cast<long long>(total));
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
}

// Everything a grab changes, undone whatever happens: the acquisition, the buffers and the
// trigger state it started.
struct GrabSession {
    Board& board;
    dma_mem* mem = nullptr;
    bool acquiring = false;
    int32_t restoreState = -1;

    ~GrabSession() {
        if (acquiring) Fg_stopAcquireEx(board.handle(), 0, mem, 0);
        if (mem != nullptr) Fg_FreeMemEx(board.handle(), mem);
        if (restoreState >= 0) {
            int32_t id = Fg_getParameterIdByName(board.handle(), "FG_TRIGGERSTATE");
            Fg_setParameterWithType(board.handle(), id, &restoreState, 0, FG_PARAM_TYPE_INT32_T);
        }
    }
};

void runGrab(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    const int64_t count = parseCount(a.positional[0], 1, kMaxGrab, "N");
    const std::string prefix = a.option("--output") ? *a.option("--output") : "frame";
    const uint32_t width = static_cast<uint32_t>(b.getInt("FG_WIDTH"));
    const uint32_t height = static_cast<uint32_t>(b.getInt("FG_HEIGHT"));
    const int32_t format = b.getInt("FG_FORMAT");
    if (format != kGray8 && format != kGray16)
        throw BoardError(kInvalidParameter, "grab",
                         "unknown output format " + std::to_string(format));
    const std::size_t bytesPerPixel = format == kGray16 ? 2 : 1;
    const std::size_t pictureBytes = std::size_t{width} * height * bytesPerPixel;
    const int32_t mode = b.getInt("FG_AREATRIGGERMODE");
    const double fps = b.get(b.find("FG_TRIGGER_FRAMESPERSECOND")).real;
    int32_t timeout = static_cast<int32_t>(std::max(5.0, std::ceil(3.0 / fps)));
    if (const std::string* t = a.option("--timeout"))
        timeout = static_cast<int32_t>(parseCount(*t, 1, 3600, "--timeout"));
    const bool showProgress = a.flag("--progress") || isatty(STDERR_FILENO) != 0;

    GrabSession s{b};
    s.mem = Fg_AllocMemEx(b.handle(), pictureBytes * kGrabBuffers, kGrabBuffers);
    if (s.mem == nullptr) {
        const int32_t e = Fg_getLastErrorNumber(b.handle());
        throw BoardError(e != 0 ? e : FG_ERR_NO_MEMORY, "allocate frame buffers");
    }
    b.check(Fg_AcquireEx(b.handle(), 0, count, ACQ_STANDARD, s.mem), "start the acquisition");
    s.acquiring = true;
    const int32_t state = b.getInt("FG_TRIGGERSTATE");
    if (state != kActive && !a.flag("--no-start")) {
        b.setInt("FG_TRIGGERSTATE", kActive);
        s.restoreState = state;
        std::fprintf(stderr, "pvctl: the trigger system was stopped; started it for this grab "
                             "(FG_TRIGGERSTATE=TS_ACTIVE)\n");
    }
    if (mode == kExternalMode)
        std::fprintf(stderr, "pvctl: external trigger mode: pictures come with external "
                             "trigger pulses\n");

    const int32_t send = b.find("FG_SENDSOFTWARETRIGGER").id;
    const int digits = std::max(3, static_cast<int>(std::to_string(count).size()));
    const auto start = std::chrono::steady_clock::now();
    Json files = Json::array();
    std::string text;
    int64_t overwritten = 0;
    // The rate is timed from the first picture's arrival to the last one's: the wait for the
    // first picture is the trigger's start-up, not its rate.
    auto firstArrival = start;
    auto lastArrival = start;
    for (int64_t n = 1; n <= count; ++n) {
        if (mode == kSoftwareMode) sendPulse(b, send);
        const frameindex_t last = Fg_getLastPicNumberBlockingEx(b.handle(), n, 0, timeout, s.mem);
        if (last < n)
            throw BoardError(static_cast<int32_t>(last),
                             "wait for picture " + std::to_string(n) + " of " +
                                 std::to_string(count),
                             "pictures come only while the trigger system runs; see "
                             "`pvctl describe FG_TRIGGERSTATE`");
        lastArrival = std::chrono::steady_clock::now();
        if (n == 1) firstArrival = lastArrival;
        if (last - n >= kGrabBuffers) {
            ++overwritten; // the ring went round before this picture was written out
        } else {
            const void* pixels = Fg_getImagePtrEx(b.handle(), n, 0, s.mem);
            std::string number = std::to_string(n);
            number.insert(
                0, static_cast<std::size_t>(digits) - std::min<std::size_t>(number.size(), digits),
                '0');
            const std::string file = prefix + "-" + number + ".png";
            const std::string error =
                pixels == nullptr ? "no picture buffer"
                : bytesPerPixel == 2
                    ? pellvane::tools::writeGray16Png(file, static_cast<const uint16_t*>(pixels),
                                                      width, height)
                    : pellvane::tools::writeGray8Png(file, static_cast<const uint8_t*>(pixels),
                                                     width, height);
            if (!error.empty()) throw BoardError(-5001, "write " + file, error);
            files.push(file);
            text += "wrote " + file + "\n";
        }
        if (showProgress) progressBar(n, count);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double between = std::chrono::duration<double>(lastArrival - firstArrival).count();
    const double rate = count > 1 && between > 0 ? static_cast<double>(count - 1) / between : 0.0;
    char summary[160];
    std::snprintf(
        summary, sizeof summary, "%lld pictures of %ux%u, %d bit, in %.2f s (%.1f frames/s)\n",
        static_cast<long long>(count), width, height, format == kGray16 ? 16 : 8, seconds, rate);
    text += summary;
    if (overwritten > 0)
        text += std::to_string(overwritten) +
                " pictures were overwritten before they could be written out\n";
    ctx.json ? ctx.emit(Json::object()
                            .set("pictures", count)
                            .set("width", width)
                            .set("height", height)
                            .set("bits", format == kGray16 ? 16 : 8)
                            .set("seconds", seconds)
                            .set("overwritten", overwritten)
                            .set("files", std::move(files)))
             : print(text);
}

void runHelp(Context&, const Args& a) {
    if (a.positional.empty()) {
        print(overview());
        return;
    }
    const Command* c = findCommand(a.positional[0]);
    if (c == nullptr) throw UsageError("no command '" + a.positional[0] + "'");
    print(commandHelp(*c));
}

} // namespace

Board& Context::open() {
    if (!board) board = std::make_unique<Board>(applet, boardIndex);
    return *board;
}

void Context::emit(const Json& j) const {
    print(j.dump() + "\n");
}

const std::string* Args::option(const std::string& name) const {
    for (const auto& [key, value] : options)
        if (key == name) return &value;
    return nullptr;
}

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"info",
         "",
         "what the applet says about itself",
         "Prints what the applet's Info query reports: name, version, build, design, "
         "description,\nproperties and identifier, with the board index and the number of "
         "parameters.\n\n  pvctl info\n  pvctl --json info\n",
         0,
         0,
         {},
         {},
         runInfo},
        {"list",
         "[FILTER]",
         "every parameter: name, id, type, access, value",
         "Lists the parameters in the applet's order with identifier, type (uint32, int32, "
         "enum,\ndouble, string, lut; host = served by the host library), access (rw, ro) and "
         "current\nvalue. FILTER keeps the names that contain it (any case).\n\n"
         "  pvctl list\n  pvctl list trigger\n",
         0,
         1,
         {},
         {},
         runList},
        {"tree",
         "[FILTER] [--raw]",
         "the information tree with live limits, units and access",
         "Prints the applet's information tree: categories, and for each parameter its display\n"
         "name, type, access, limits as they are now (the width's maximum follows the x "
         "offset),\nunit, value and, for enumerations, every value with its symbolic name. "
         "FILTER keeps\nthe categories and parameters whose name contains it. --raw prints "
         "every field of\nevery node as the host reads it.\n\n"
         "  pvctl tree ROI\n  pvctl set FG_XOFFSET=64 + tree ROI\n  pvctl tree --raw\n",
         0,
         1,
         {},
         {"--raw"},
         runTree},
        {"get",
         "NAME... [--value]",
         "read parameters",
         "Reads parameters in their own type. Enumerations show their symbolic name too;\n"
         "--value prints the bare values, one per line, for shell scripts.\n\n"
         "  pvctl get FG_WIDTH FG_FORMAT\n  width=$(pvctl get --value FG_WIDTH)\n",
         1,
         -1,
         {},
         {"--value"},
         runGet},
        {"set",
         "NAME=VALUE...",
         "write parameters (numbers or symbolic names)",
         "Writes parameters in order and prints what the applet holds afterwards. VALUE is a\n"
         "number (decimal, or 0x hexadecimal), a symbolic name such as FG_GRAY16 that the "
         "applet\nresolves, a double for double parameters, or a text for string parameters. "
         "A refused\nvalue stops with the applet's error code and its meaning.\n\n"
         "  pvctl set FG_FORMAT=FG_GRAY16\n  pvctl set FG_WIDTH=640 FG_HEIGHT=480 + get "
         "FG_WIDTH\n  pvctl set FG_TRIGGER_FRAMESPERSECOND=29.97\n",
         1,
         -1,
         {},
         {},
         runSet},
        {"describe",
         "NAME...",
         "a parameter's description, limits and values",
         "Prints the applet's description of each parameter, with its category, type, "
         "access,\nlimits, unit, the values an enumeration takes and the current value.\n\n"
         "  pvctl describe FG_TRIGGERSTATE\n",
         1,
         -1,
         {},
         {},
         runDescribe},
        {"save",
         "FILE.mcf",
         "save every parameter to a configuration file",
         "Saves the applet's parameter set as a configuration file (the name must contain "
         ".mcf).\nThe lookup-table entries themselves are not part of it; `lut save` writes "
         "them.\n\n  pvctl set FG_WIDTH=640 + save camera.mcf\n",
         1,
         1,
         {},
         {},
         runSave},
        {"load",
         "FILE.mcf",
         "load a configuration file",
         "Loads a configuration file into the applet. Each invocation starts from a fresh "
         "applet,\nso load it in the same invocation as the commands that need it (or use "
         "--config).\n\n  pvctl load camera.mcf + grab 3\n",
         1,
         1,
         {},
         {},
         runLoad},
        {"lut",
         "save FILE | load FILE | show [FIRST [COUNT]]",
         "the lookup table",
         "lut save FILE     writes the current 4096-entry table as a lookup-table file\n"
         "lut load FILE     loads a lookup-table file and makes it the table in use\n"
         "                  (FG_LUT_TYPE=LUT_TYPE_CUSTOM)\n"
         "lut show          prints the entries, 8 a line; FIRST and COUNT pick a range\n\n"
         "  pvctl set FG_PROCESSING_GAMMA=2.2 + lut save gamma.lut\n"
         "  pvctl lut load gamma.lut + lut show 0 16\n",
         1,
         3,
         {},
         {},
         runLut},
        {"xml",
         "[-o FILE]",
         "the GenApi register description",
         "Prints the applet's GenApi XML document, or writes it to FILE.\n\n"
         "  pvctl xml -o pellvane.xml\n",
         0,
         0,
         {"--output"},
         {},
         runXml},
        {"trigger",
         "[COUNT]",
         "send software trigger pulses",
         "Sends COUNT software trigger pulses (default 1). The trigger system must be in "
         "software\nmode and active; with FG_TRIGGERQUEUE_MODE=FG_ON up to 2040 go in at "
         "once.\n\n  pvctl set FG_AREATRIGGERMODE=ATM_SOFTWARE FG_TRIGGERSTATE=TS_ACTIVE + "
         "trigger 5\n",
         0,
         1,
         {},
         {},
         runTrigger},
        {"grab",
         "N [-o PREFIX] [--timeout S] [--no-start] [--progress]",
         "acquire N pictures into PNG files",
         "Acquires N pictures and writes each as PREFIX-001.png, PREFIX-002.png, ... (PREFIX\n"
         "defaults to \"frame\"; 8- or 16-bit grey as FG_FORMAT says). A stopped trigger "
         "system is\nstarted for the grab and stopped again afterwards (--no-start leaves it "
         "alone); in\nsoftware trigger mode pvctl sends one pulse per picture. --timeout is "
         "the wait per\npicture in seconds. A progress bar goes to the terminal (--progress "
         "forces it).\n\n  pvctl grab 3\n  pvctl set FG_FORMAT=FG_GRAY16 FG_WIDTH=640 + grab "
         "10 -o shots/run\n",
         1,
         1,
         {"--output", "--timeout"},
         {"--no-start", "--progress"},
         runGrab},
        {"help",
         "[COMMAND]",
         "this overview, or a command's help",
         "pvctl help COMMAND is the same as pvctl COMMAND --help.\n",
         0,
         1,
         {},
         {},
         runHelp},
    };
    return table;
}

const Command* findCommand(const std::string& name) {
    for (const Command& c : commands())
        if (name == c.name) return &c;
    return nullptr;
}

Args parseArgs(const Command& c, const std::vector<std::string>& words) {
    Args a;
    auto known = [](const std::vector<std::string>& list, const std::string& w) {
        return std::find(list.begin(), list.end(), w) != list.end();
    };
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string w = words[i] == "-o" ? "--output" : words[i];
        if (w.size() < 2 || w[0] != '-' || std::isdigit(static_cast<unsigned char>(w[1]))) {
            a.positional.push_back(words[i]);
            continue;
        }
        std::string value;
        bool inlineValue = false;
        if (auto eq = w.find('='); eq != std::string::npos) {
            value = w.substr(eq + 1);
            w = w.substr(0, eq);
            inlineValue = true;
        }
        if (known(c.valueOptions, w)) {
            if (!inlineValue) {
                if (i + 1 == words.size()) throw UsageError(w + " needs a value");
                value = words[++i];
            }
            a.options.emplace_back(w, value);
        } else if (known(c.flagOptions, w) && !inlineValue) {
            a.flags.insert(w);
        } else {
            throw UsageError(std::string(c.name) + " has no option " + words[i] + " (see pvctl " +
                             c.name + " --help)");
        }
    }
    const auto n = static_cast<int>(a.positional.size());
    if (n < c.minArgs || (c.maxArgs >= 0 && n > c.maxArgs))
        throw UsageError(std::string("usage: pvctl ") + c.name + " " + c.usage + " (see pvctl " +
                         c.name + " --help)");
    return a;
}

std::string overview() {
    std::string out =
        "pvctl: inspect and drive the Pellvane applet on a board (the virtual board by "
        "default).\n\n"
        "usage: pvctl [OPTIONS] COMMAND [ARGS] [+ COMMAND [ARGS]]...\n\n"
        "Each invocation opens the applet afresh. Chain commands with a lone + to run them "
        "on\nthe same applet, or keep the settings in a session file (--session).\n\n"
        "Options:\n"
        "  --board N        board index (default 0)\n"
        "  --applet NAME    applet library (default Pellvane)\n"
        "  --config FILE    load this configuration file (.mcf) before the commands\n"
        "  --session FILE   load FILE if it exists, save the parameters to it when all "
        "commands\n"
        "                   succeeded (default: $PVCTL_SESSION; a name containing .mcf)\n"
        "  --json           one JSON document per command on standard output\n"
        "  -h, --help       this text; pvctl COMMAND --help explains a command\n\n"
        "Commands:\n";
    for (const Command& c : commands()) {
        char line[160];
        std::snprintf(line, sizeof line, "  %-10s %s\n", c.name, c.summary);
        out += line;
    }
    out += "\nErrors print the error code and its meaning; the exit status is 1 for errors of "
           "the\napplet or the host library and 2 for a wrong command line.\n";
    return out;
}

std::string commandHelp(const Command& c) {
    return std::string("usage: pvctl ") + c.name + (c.usage[0] != '\0' ? " " : "") + c.usage +
           "\n\n" + c.help;
}

} // namespace pvctl
