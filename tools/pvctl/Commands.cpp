#include "Commands.h"

#include "Acquisition.h"
#include "FileCheck.h"
#include "ParameterJson.h"
#include "Terminal.h"
#include "TreeText.h"
#include "WriterPool.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace pvctl {

using namespace pellvane::tools;

namespace {

constexpr int64_t kMaxGrab = 1000000;
constexpr int64_t kMaxBuffers = 4096;
constexpr int64_t kDefaultBuffers = 16;
// The software trigger queue takes at most this many pulses at once.
constexpr int64_t kMaxPulses = 2040;

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool contains(const std::string& text, const std::string& filter) {
    return filter.empty() || lower(text).find(lower(filter)) != std::string::npos;
}

int64_t parseCount(const std::string& text, int64_t min, int64_t max, const std::string& what) {
    int64_t v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || v < min ||
        v > max)
        throw UsageError(what + " must be a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not '" + text + "'");
    return v;
}

double parseSeconds(const std::string& text, const std::string& what) {
    double v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || !(v > 0) ||
        v > 1e6)
        throw UsageError(what + " must be a number of seconds above 0, not '" + text + "'");
    return v;
}

std::string absolute(const std::string& file) {
    std::error_code ec;
    auto p = std::filesystem::absolute(file, ec);
    return ec ? file : p.string();
}

void print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::string fixed(double v, int decimals) {
    char b[64];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
}

// ---- values as text and JSON ----

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

Json readingJson(const Reading& r) {
    return r.ok ? valueJson(r.value) : Json();
}

// Splits NAME=VALUE; throws UsageError for another form.
std::pair<std::string, std::string> assignment(const std::string& word) {
    const auto eq = word.find('=');
    if (eq == std::string::npos || eq == 0)
        throw UsageError("set takes NAME=VALUE, not '" + word + "'");
    return {word.substr(0, eq), word.substr(eq + 1)};
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
        j[key] = v;
        text += std::string(key) + std::string(13 - std::string(key).size(), ' ') + v + "\n";
    }
    j["board"] = ctx.boardIndex;
    j["parameters"] = b.parameters().size();
    text += "board        " + std::to_string(ctx.boardIndex) + "\n";
    text += "parameters   " + std::to_string(b.parameters().size()) + "\n";
    ctx.json ? ctx.emit(j) : print(text);
}

void noMatch(const std::string& what, const std::string& filter) {
    throw Failure("no " + what + " matches '" + filter + "'");
}

void runList(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    const std::string filter = a.positional.empty() ? "" : a.positional[0];
    Json j = Json::array();
    char line[512];
    std::snprintf(line, sizeof line, "%-46s %7s %-6s %-6s %s\n", "NAME", "ID", "TYPE", "ACCESS",
                  "VALUE");
    std::string text = line;
    for (const Parameter& p : b.parameters()) {
        if (!contains(p.name, filter)) continue;
        Reading r = readValue(b, p);
        j.push_back({{"index", p.index},
                     {"name", p.name},
                     {"id", p.id},
                     {"type", typeName(p.type)},
                     {"access", accessText(p)},
                     {"value", readingJson(r)}});
        std::snprintf(line, sizeof line, "%-46s %7d %-6s %-6s ", p.name.c_str(), p.id,
                      typeName(p.type), accessText(p).c_str());
        text += line + readingText(p, r) + "\n";
    }
    if (j.empty()) noMatch("parameter", filter);
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
        const Parameter* p = b.lookup(pname);
        if (p == nullptr) continue;
        any = true;
        Reading r = readValue(b, *p);
        std::string line = indent + pname + " \"" + utf8(n->displayName) + "\" " +
                           typeName(p->type) + " " + accessText(*p);
        if (std::string l = limitsText(n); !l.empty()) line += " " + l;
        if (n->unit != nullptr) line += " " + utf8(n->unit);
        if (p->type != ValueType::LutField) line += " = " + readingText(*p, r);
        inner += line + "\n";
        if (std::string e = entriesText(n); !e.empty()) inner += indent + "    one of " + e + "\n";
        Json pj = {{"name", pname}, {"id", p->id}};
        addNodeJson(*p, pj);
        pj["value"] = readingJson(r);
        children.push_back(std::move(pj));
    }
    if (!any && !all) return false;
    text += std::string(static_cast<std::size_t>(depth) * 2, ' ') + name + "\n" + inner;
    out.push_back({{"category", name}, {"children", std::move(children)}});
    return true;
}

// The lines of an indented text that contain the filter, with the lines above them that they
// are indented under.
std::string filterIndented(const std::string& text, const std::string& filter) {
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    auto depth = [](const std::string& l) { return l.find_first_not_of(' '); };
    std::vector<bool> keep(lines.size(), false);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!contains(lines[i], filter)) continue;
        keep[i] = true;
        std::size_t d = depth(lines[i]);
        for (std::size_t k = i; k-- > 0 && d > 0;)
            if (depth(lines[k]) < d) {
                keep[k] = true;
                d = depth(lines[k]);
            }
    }
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (keep[i]) out += lines[i] + "\n";
    return out;
}

void runTree(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    const std::string filter = a.positional.empty() ? "" : a.positional[0];
    if (a.flag("--raw")) {
        const std::string raw = describeTree(Fg_getParameterInfo(b.handle(), 0));
        const std::string text = filter.empty() ? raw : filterIndented(raw, filter);
        if (text.empty()) noMatch("node", filter);
        ctx.json ? ctx.emit(Json{{"raw", text}}) : print(text);
        return;
    }
    std::string text;
    Json j = Json::array();
    for (const ParameterInfoNode* root : b.roots())
        treeCategory(b, root, "", 0, filter, text, j);
    if (text.empty()) noMatch("category or parameter", filter);
    ctx.json ? ctx.emit(j) : print(text);
}

void prepareNames(const Board& b, const Args& a) {
    for (const std::string& name : a.positional)
        b.find(name);
}

void runGet(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    Json j = Json::object();
    std::string text;
    for (const std::string& name : a.positional) {
        const Parameter& p = b.find(name);
        Value v = b.get(p);
        j[p.name] = valueJson(v);
        text +=
            a.flag("--value") ? bareValueText(v) + "\n" : p.name + " = " + valueText(p, v) + "\n";
    }
    ctx.json ? ctx.emit(j) : print(text);
}

void checkSet(const Args& a) {
    for (const std::string& word : a.positional)
        assignment(word);
}

void prepareSet(const Board& b, const Args& a) {
    for (const std::string& word : a.positional) {
        auto [name, value] = assignment(word);
        b.parse(b.find(name), value);
    }
}

void runSet(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    Json j = Json::object();
    std::string text;
    for (const std::string& word : a.positional) {
        auto [name, value] = assignment(word);
        const Parameter& p = b.find(name);
        b.set(p, value);
        // What the applet holds now (a debounce time, say, comes back quantised).
        Reading r = readValue(b, p);
        j[p.name] = readingJson(r);
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
        Json j = {{"id", p.id}, {"description", description}};
        addNodeJson(p, j);
        j["value"] = readingJson(r);
        all[p.name] = std::move(j);

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

void checkMcfName(const Args& a) {
    if (a.positional[0].find(".mcf") == std::string::npos)
        throw UsageError("configuration file names must contain .mcf, not '" + a.positional[0] +
                         "'");
}

void runSave(Context& ctx, const Args& a) {
    ctx.open().saveConfig(a.positional[0]);
    ctx.json ? ctx.emit(Json{{"saved", a.positional[0]}})
             : print("saved " + a.positional[0] + "\n");
}

void runLoad(Context& ctx, const Args& a) {
    ctx.open().loadConfig(a.positional[0]);
    ctx.json ? ctx.emit(Json{{"loaded", a.positional[0]}})
             : print("loaded " + a.positional[0] + "\n");
}

void runLutSave(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    // Absolute, so that a configuration saved now finds the file from anywhere.
    const std::string file = absolute(a.positional[0]);
    b.set(b.find("FG_LUT_SAVE_FILE"), file);
    ctx.json ? ctx.emit(Json{{"saved", file}}) : print("saved the lookup table to " + file + "\n");
}

void runLutLoad(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    const std::string file = absolute(a.positional[0]);
    // The applet reads the file when the table type is "user file".
    b.set(b.find("FG_LUT_CUSTOM_FILE"), file);
    const int32_t custom = b.symbolValue("LUT_TYPE_CUSTOM");
    if (b.getInt("FG_LUT_TYPE") != custom) b.setInt("FG_LUT_TYPE", custom);
    ctx.json ? ctx.emit(Json{{"loaded", file}})
             : print("loaded " + file + " (FG_LUT_TYPE=LUT_TYPE_CUSTOM)\n");
}

void checkLutShow(const Args& a) {
    // The table's length is the applet's; the forms are checked here, the range when it runs.
    if (a.positional.size() > 0) parseCount(a.positional[0], 0, kMaxBuffers * 1024, "FIRST");
    if (a.positional.size() > 1) parseCount(a.positional[1], 1, kMaxBuffers * 1024, "COUNT");
}

void runLutShow(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    const uint32_t size = b.lutEntries();
    const auto first = static_cast<uint32_t>(
        a.positional.size() > 0 ? parseCount(a.positional[0], 0, size - 1, "FIRST") : 0);
    const auto count = static_cast<uint32_t>(
        a.positional.size() > 1 ? parseCount(a.positional[1], 1, size - first, "COUNT")
                                : size - first);
    Json values = Json::array();
    std::string text;
    for (uint32_t i = first; i < first + count; ++i) {
        uint32_t v = b.lutEntry(i);
        values.push_back(v);
        char cell[32];
        if ((i - first) % 8 == 0) {
            std::snprintf(cell, sizeof cell, "%s%4u:", i == first ? "" : "\n", i);
            text += cell;
        }
        std::snprintf(cell, sizeof cell, " %4u", v);
        text += cell;
    }
    ctx.json ? ctx.emit(Json{{"first", first}, {"values", std::move(values)}}) : print(text + "\n");
}

void runXml(Context& ctx, const Args& a) {
    const std::string xml = ctx.open().xml();
    if (const std::string* file = a.option("--output")) {
        std::ofstream out(*file, std::ios::binary);
        out << xml;
        out.close();
        if (!out) throw Failure("cannot write " + *file + ": check the folder and its permissions");
        ctx.json ? ctx.emit(Json{{"file", *file}, {"bytes", xml.size()}})
                 : print("wrote " + *file + " (" + std::to_string(xml.size()) + " bytes)\n");
        return;
    }
    ctx.json ? ctx.emit(Json{{"xml", xml}}) : print(xml);
}

void checkTrigger(const Args& a) {
    if (!a.positional.empty()) parseCount(a.positional[0], 1, kMaxPulses, "COUNT");
}

void runTrigger(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    const int64_t count =
        a.positional.empty() ? 1 : parseCount(a.positional[0], 1, kMaxPulses, "COUNT");
    const Parameter& send = b.find("FG_SENDSOFTWARETRIGGER");
    if (b.getInt("FG_TRIGGERQUEUE_MODE") == b.symbolValue("FG_ON")) {
        // The queue takes the whole burst at once.
        b.set(send, std::to_string(count));
    } else {
        for (int64_t i = 0; i < count; ++i) {
            try {
                sendSoftwarePulse(b, [&] { return ctx.stopRequested(); });
            } catch (const BoardError& e) {
                throw BoardError(e.code(), e.what(), e.explanation(),
                                 "in the same invocation: pvctl set "
                                 "FG_AREATRIGGERMODE=ATM_SOFTWARE FG_TRIGGERSTATE=TS_ACTIVE "
                                 "+ trigger");
            }
        }
    }
    ctx.json ? ctx.emit(Json{{"sent", count}})
             : print("sent " + std::to_string(count) + " software trigger pulse" +
                     (count == 1 ? "" : "s") + "\n");
}

// ---- acquiring ----

bool onTerminal() {
    return pellvane::tools::isTerminal(stderr);
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

int timeoutFor(const Board& b, const Args& a) {
    if (const std::string* t = a.option("--timeout"))
        return static_cast<int>(parseCount(*t, 1, 3600, "--timeout"));
    const double fps = b.getDouble("FG_TRIGGER_FRAMESPERSECOND");
    return static_cast<int>(std::max(5.0, std::ceil(3.0 / fps)));
}

void announce(const Acquisition& acq) {
    if (acq.startedTrigger())
        std::fprintf(stderr, "pvctl: the trigger system was stopped; started it for this "
                             "acquisition (FG_TRIGGERSTATE=TS_ACTIVE)\n");
    if (acq.externalTrigger())
        std::fprintf(stderr, "pvctl: external trigger mode: pictures come with external "
                             "trigger pulses\n");
}

int64_t buffersOf(const Args& a) {
    const std::string* v = a.option("--buffers");
    return v != nullptr ? parseCount(*v, 2, kMaxBuffers, "--buffers") : kDefaultBuffers;
}

void checkGrab(const Args& a) {
    parseCount(a.positional[0], 1, kMaxGrab, "N");
    buffersOf(a);
    if (const std::string* t = a.option("--timeout")) parseCount(*t, 1, 3600, "--timeout");
    if (const std::string* t = a.option("--threads")) parseCount(*t, 1, 64, "--threads");
    if (const std::string* f = a.option("--format"); f != nullptr && !pictureFormat(*f))
        throw UsageError("--format takes png, pgm, tiff or raw, not '" + *f + "'");
    if (const std::string* l = a.option("--png-level")) parseCount(*l, 1, 9, "--png-level");
}

// The folder the pictures go to exists (or is made) and takes files, before anything is
// acquired.
void prepareOutput(const std::string& prefix) {
    const std::filesystem::path folder = std::filesystem::path(prefix).parent_path();
    std::error_code ec;
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ec);
        if (ec || !std::filesystem::is_directory(folder))
            throw Failure("cannot make the folder " + folder.string() + " for the pictures" +
                          (ec ? ": " + ec.message() : ""));
    }
    const std::string probe = prefix + ".pvctl-probe";
    std::FILE* f = std::fopen(probe.c_str(), "wb");
    if (f == nullptr)
        throw Failure("cannot write pictures as " + prefix +
                      "-…: check the folder and its "
                      "permissions");
    std::fclose(f);
    std::filesystem::remove(probe, ec);
}

std::string pictureName(const std::string& prefix, int64_t n, int digits, PictureFormat format) {
    std::string number = std::to_string(n);
    if (static_cast<int>(number.size()) < digits)
        number.insert(0, static_cast<std::size_t>(digits) - number.size(), '0');
    return prefix + "-" + number + extension(format);
}

void runGrab(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    const int64_t count = parseCount(a.positional[0], 1, kMaxGrab, "N");
    const std::string prefix = a.option("--output") ? *a.option("--output") : "frame";
    const PictureFormat format =
        a.option("--format") ? *pictureFormat(*a.option("--format")) : PictureFormat::Png;
    const int level = a.option("--png-level")
                          ? static_cast<int>(parseCount(*a.option("--png-level"), 1, 9, ""))
                          : kFastPng;
    const int64_t buffers = buffersOf(a);
    const unsigned threads =
        a.option("--threads")
            ? static_cast<unsigned>(parseCount(*a.option("--threads"), 1, 64, "--threads"))
            : std::max(1u, std::thread::hardware_concurrency());
    const int timeout = timeoutFor(b, a);
    const bool showProgress = a.flag("--progress") || onTerminal();
    prepareOutput(prefix);

    WriterPool pool(threads, static_cast<std::size_t>(buffers), format, level);
    pool.prepare(Acquisition::geometryOf(b).bytes());
    Acquisition acq(b, count, buffers, !a.flag("--no-start"));
    announce(acq);
    const Acquisition::Geometry g = acq.geometry();
    const int digits = std::max(3, static_cast<int>(std::to_string(count).size()));
    const auto start = std::chrono::steady_clock::now();
    auto firstArrival = start, lastArrival = start;
    Json files = Json::array();
    std::string text;
    int64_t acquired = 0, lost = 0;
    std::string failure;
    auto stop = [&] { return ctx.stopRequested(); };
    for (int64_t n = 1; n <= count; ++n) {
        const std::optional<int64_t> last = acq.waitFor(n, timeout, stop);
        if (!last) break;
        acquired = n;
        lastArrival = std::chrono::steady_clock::now();
        if (n == 1) firstArrival = lastArrival;
        // A place in the writers' queue, waited for while the picture is still in its buffer.
        std::vector<uint8_t>* slot = nullptr;
        // Even after Ctrl-C: the picture is here, and it is saved.
        while (slot == nullptr && acq.intact(n) && pool.error().empty())
            slot = pool.reserve(g.bytes(), 5);
        const void* pixels = slot != nullptr ? acq.picture(n) : nullptr;
        if (pixels != nullptr) std::memcpy(slot->data(), pixels, g.bytes());
        // The copy counts only when the ring did not come round to the picture meanwhile.
        if (pixels != nullptr && acq.intact(n)) {
            const std::string file = pictureName(prefix, n, digits, format);
            pool.submit(slot, file, g.width, g.height, g.bits);
            files.push_back(file);
            if (!ctx.json) text += "wrote " + file + "\n";
        } else {
            if (slot != nullptr) pool.release(slot);
            if (!pool.error().empty()) {
                failure = pool.error();
                break;
            }
            ++lost;
        }
        if (showProgress) progressBar(n, count);
    }
    const bool interrupted = acquired < count && failure.empty();
    acq.stop();
    if (showProgress && acquired < count) std::fputc('\n', stderr);
    pool.finish();
    if (failure.empty()) failure = pool.error();
    const uint64_t saved = pool.saved();
    // Pictures queued but not written (a write failed) count as lost too.
    lost = acquired - static_cast<int64_t>(saved);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double between = std::chrono::duration<double>(lastArrival - firstArrival).count();
    const double rate =
        acquired > 1 && between > 0 ? static_cast<double>(acquired - 1) / between : 0;

    text += std::to_string(acquired) + " pictures of " + std::to_string(g.width) + "x" +
            std::to_string(g.height) + ", " + std::to_string(g.bits) + " bit, in " +
            fixed(seconds, 2) + " s (" + fixed(rate, 1) + " frames/s): " + std::to_string(saved) +
            " saved, " + std::to_string(lost) + " lost\n";
    if (interrupted)
        text += "interrupted after " + std::to_string(acquired) + " of " + std::to_string(count) +
                " pictures\n";
    if (lost > 0 && failure.empty())
        text += std::to_string(lost) +
                " pictures were overwritten before they could be saved: "
                "saving is slower than acquiring; try --buffers, --format raw, fewer "
                "frames/s or a faster disk\n";
    if (!failure.empty()) text += "saving failed: " + failure + "\n";
    if (ctx.json) {
        Json j = {{"requested", count},
                  {"acquired", acquired},
                  {"saved", saved},
                  {"lost", lost},
                  {"interrupted", interrupted},
                  {"width", g.width},
                  {"height", g.height},
                  {"bits", g.bits},
                  {"format", formatName(format)},
                  {"seconds", seconds},
                  {"frames_per_second", rate},
                  {"files", std::move(files)}};
        if (!failure.empty()) j["error"] = failure;
        ctx.emit(j);
        // The summary goes to the terminal too when something went wrong.
        if (lost > 0 || !failure.empty() || interrupted) std::fputs(text.c_str(), stderr);
    } else {
        print(text);
    }
    if (interrupted)
        ctx.status = std::max(ctx.status, kExitInterrupted);
    else if (!failure.empty())
        ctx.status = std::max(ctx.status, kExitFailed);
    else if (lost > 0)
        ctx.status = std::max(ctx.status, kExitLost);
}

void checkStream(const Args& a) {
    if (!a.positional.empty()) parseCount(a.positional[0], 1, kMaxGrab, "N");
    if (const std::string* s = a.option("--seconds")) parseSeconds(*s, "--seconds");
    buffersOf(a);
    if (const std::string* t = a.option("--timeout")) parseCount(*t, 1, 3600, "--timeout");
}

void runStream(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    const int64_t count = a.positional.empty() ? 0 : parseCount(a.positional[0], 1, kMaxGrab, "N");
    const double limit = a.option("--seconds") ? parseSeconds(*a.option("--seconds"), "") : 0;
    const int timeout = timeoutFor(b, a);
    const Parameter* fill = b.lookup("FG_FILLLEVEL");
    Acquisition acq(b, count, buffersOf(a), !a.flag("--no-start"));
    announce(acq);
    const double megabytes = static_cast<double>(acq.geometry().bytes()) / 1e6;
    // The per-second lines go where a person reads them; with --json, standard output keeps
    // the one summary document.
    std::FILE* lines = ctx.json ? stderr : stdout;
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto lineStart = start;
    int64_t delivered = 0, lineDelivered = 0;
    bool timeUp = false;
    auto elapsed = [&](Clock::time_point t) {
        return std::chrono::duration<double>(t - start).count();
    };
    auto readout = [&](Clock::time_point now) {
        const double span = std::chrono::duration<double>(now - lineStart).count();
        const double fps = span > 0 ? static_cast<double>(delivered - lineDelivered) / span : 0;
        const int64_t lost = acq.lostByBoard();
        std::string fillText = "-";
        if (fill != nullptr)
            if (Reading r = readValue(b, *fill); r.ok) fillText = std::to_string(r.value.integer);
        std::fprintf(lines, "%7.1f s %9.1f frames/s %9.1f MB/s   lost %lld   buffer fill %s\n",
                     elapsed(now), fps, fps * megabytes,
                     static_cast<long long>(std::max<int64_t>(lost, 0)), fillText.c_str());
        std::fflush(lines);
        lineStart = now;
        lineDelivered = delivered;
    };
    auto stop = [&] {
        const auto now = Clock::now();
        if (now - lineStart >= std::chrono::seconds(1)) readout(now);
        if (limit > 0 && elapsed(now) >= limit) timeUp = true;
        return timeUp || ctx.stopRequested();
    };
    while (count == 0 || delivered < count) {
        const std::optional<int64_t> last = acq.waitFor(delivered + 1, timeout, stop);
        if (!last) break;
        delivered = count > 0 ? std::min(*last, count) : *last;
        if (stop()) break;
    }
    const bool interrupted = ctx.stopRequested() && !timeUp && (count == 0 || delivered < count);
    const auto end = Clock::now();
    const double seconds = elapsed(end);
    const int64_t lost = std::max<int64_t>(acq.lostByBoard(), 0);
    acq.stop();
    const double fps = seconds > 0 ? static_cast<double>(delivered) / seconds : 0;
    const Acquisition::Geometry g = acq.geometry();
    if (ctx.json) {
        ctx.emit(Json{{"pictures", delivered},
                      {"seconds", seconds},
                      {"frames_per_second", fps},
                      {"megabytes_per_second", fps * megabytes},
                      {"lost", lost},
                      {"interrupted", interrupted},
                      {"width", g.width},
                      {"height", g.height},
                      {"bits", g.bits}});
    } else {
        print(std::to_string(delivered) + " pictures of " + std::to_string(g.width) + "x" +
              std::to_string(g.height) + ", " + std::to_string(g.bits) + " bit, in " +
              fixed(seconds, 2) + " s: " + fixed(fps, 1) + " frames/s, " +
              fixed(fps * megabytes, 1) + " MB/s, " + std::to_string(lost) + " lost" +
              (interrupted ? " (interrupted)" : "") + "\n");
    }
    if (interrupted)
        ctx.status = std::max(ctx.status, kExitInterrupted);
    else if (lost > 0)
        ctx.status = std::max(ctx.status, kExitLost);
}

void runEvents(Context& ctx, const Args& a) {
    Board& b = ctx.open();
    if (!a.positional.empty()) {
        const std::string& name = a.positional[0];
        const uint64_t mask = Fg_getEventMask(b.handle(), name.c_str());
        if (mask == 0)
            throw BoardError(Fg_getLastErrorNumber(b.handle()), "event " + name,
                             "the design offers no event of that name",
                             "`pvctl events` lists them");
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(mask));
        ctx.json ? ctx.emit(Json{{name, mask}}) : print(name + " " + hex + "\n");
        return;
    }
    Json j = Json::array();
    std::string text;
    for (int bit = 0; bit < 64; ++bit) {
        const uint64_t mask = uint64_t{1} << bit;
        const char* name = Fg_getEventName(b.handle(), mask);
        if (name == nullptr || *name == '\0') continue;
        j.push_back({{"name", name}, {"mask", mask}, {"bit", bit}});
        char line[160];
        std::snprintf(line, sizeof line, "%-2d 0x%016llx %s\n", bit,
                      static_cast<unsigned long long>(mask), name);
        text += line;
    }
    ctx.json ? ctx.emit(j) : print(text);
}

std::vector<std::string> allFiles(const Args& a) {
    return a.positional;
}

std::vector<std::string> checkedFiles(const Args& a) {
    return a.flag("--no-check") ? std::vector<std::string>{}
                                : std::vector<std::string>{a.positional[0]};
}

void runNothing(Context&, const Args&) {
    // The files were checked before the board was opened.
}

void runHelp(Context&, const Args& a) {
    if (a.positional.empty()) {
        print(overview());
        return;
    }
    std::size_t used = 0;
    const Command* c = findCommand(a.positional, used);
    if (c == nullptr) throw UsageError("no command '" + a.positional[0] + "' (see pvctl --help)");
    print(commandHelp(*c));
}

const OptionSpec kTimeout{"--timeout", "S",
                          "the longest wait for one picture, in seconds (1 to 3600)"};
const OptionSpec kBuffers{"--buffers", "N",
                          "frame buffers of the acquisition ring, 2 to 4096 (default 16); grab "
                          "keeps as many pictures waiting to be saved"};
const OptionSpec kNoStart{"--no-start", nullptr,
                          "leave a stopped trigger system alone instead of starting it"};
const OptionSpec kStrict{"--strict", nullptr, "refuse the file when the check finds an error"};
const OptionSpec kNoCheck{"--no-check", nullptr, "load the file without checking it first"};

} // namespace

Board& Context::open() {
    if (!board) board = std::make_unique<Board>(applet, boardIndex);
    return *board;
}

void Context::emit(const Json& j) const {
    print(j.dump() + "\n");
}

const std::string* Args::option(const std::string& name) const {
    auto it = options.find(name);
    return it == options.end() ? nullptr : &it->second;
}

bool reportFileCheck(Context& ctx, Board& fresh, const std::string& file, bool asCommand) {
    FileChecker checker(fresh);
    std::vector<Finding> findings = checker.check(file);
    // In the order of the file, whole-file findings first; those of a file it names after it.
    std::stable_sort(findings.begin(), findings.end(), [&](const Finding& x, const Finding& y) {
        return std::make_pair(x.file != file, x.line) < std::make_pair(y.file != file, y.line);
    });
    std::size_t errors = 0, warnings = 0;
    Json list = Json::array();
    std::string text;
    for (const Finding& f : findings) {
        (f.severity == Finding::Severity::Error ? errors : warnings) += 1;
        list.push_back({{"severity", f.severity == Finding::Severity::Error ? "error" : "warning"},
                        {"file", f.file},
                        {"line", f.line},
                        {"key", f.key},
                        {"reason", f.reason}});
        text += findingText(f) + "\n";
    }
    if (ctx.json) {
        ctx.emit(Json{{"checked", file},
                      {"errors", errors},
                      {"warnings", warnings},
                      {"findings", std::move(list)}});
    } else if (asCommand) {
        print(text + file + ": " + std::to_string(errors) + " error" + (errors == 1 ? "" : "s") +
              ", " + std::to_string(warnings) + " warning" + (warnings == 1 ? "" : "s") + "\n");
    } else if (!findings.empty()) {
        std::fputs(text.c_str(), stderr);
    }
    return errors != 0;
}

const std::vector<OptionSpec>& globalOptions() {
    static const std::vector<OptionSpec> options = {
        {"--board", "N", "board index (default 0)"},
        {"--applet", "NAME", "applet library (default Pellvane)"},
        {"--config", "FILE", "check and load this configuration file (.mcf) before the commands",
         "FILE"},
        {"--session", "FILE",
         "load FILE if it exists, save the parameters to it when all commands succeeded "
         "(default: $PVCTL_SESSION; a name containing .mcf)",
         "FILE"},
        {"--json", nullptr, "one JSON document per command on standard output"},
        {"--version", nullptr, "the version of pvctl"},
        {"-h,--help", nullptr, "this text; pvctl COMMAND --help explains a command"},
    };
    return options;
}

const std::vector<Command>& commands() {
    // Room is left for `signal` (the virtual board's signal generator on the trigger inputs),
    // which joins the table beside `trigger`.
    static const std::vector<Command> table = {
        {"info",
         "what the applet says about itself",
         "Prints what the applet's Info query reports: name, version, build, design, "
         "description, properties and identifier, with the board index and the number of "
         "parameters.",
         {},
         {},
         "pvctl info\npvctl --json info",
         nullptr,
         nullptr,
         nullptr,
         runInfo},
        {"list",
         "every parameter: name, id, type, access, value",
         "Lists the parameters in the applet's order with identifier, type (uint32, int32, enum, "
         "double, string, lut; host = served by the host library), access (rw, ro) and current "
         "value. FILTER keeps the names that contain it (any case); no match is an error.",
         {{"FILTER", "part of a parameter name", false, false}},
         {},
         "pvctl list\npvctl list trigger",
         nullptr,
         nullptr,
         nullptr,
         runList},
        {"tree",
         "the information tree with live limits, units and access",
         "Prints the applet's information tree: categories, and for each parameter its display "
         "name, type, access, limits as they are now (the width's maximum follows the x "
         "offset), unit, value and, for enumerations, every value with its symbolic name. "
         "FILTER keeps the categories and parameters whose name contains it; no match is an "
         "error. --raw prints every field of every node as the host reads it (FILTER keeps the "
         "lines that contain it, under their categories).",
         {{"FILTER", "part of a category or parameter name", false, false}},
         {{"--raw", nullptr, "every field of every node, as the host reads it"}},
         "pvctl tree ROI\npvctl set FG_XOFFSET=64 + tree ROI\npvctl tree --raw FG_WIDTH",
         nullptr,
         nullptr,
         nullptr,
         runTree},
        {"get",
         "read parameters",
         "Reads parameters in their own type. Enumerations show their symbolic name too; "
         "--value prints the bare values, one per line, for shell scripts.",
         {{"NAME", "a parameter name", true, true}},
         {{"--value", nullptr, "the bare values, one per line"}},
         "pvctl get FG_WIDTH FG_FORMAT\nwidth=$(pvctl get --value FG_WIDTH)",
         nullptr,
         prepareNames,
         nullptr,
         runGet},
        {"set",
         "write parameters (numbers or symbolic names)",
         "Writes parameters in order and prints what the applet holds afterwards. VALUE is a "
         "number (decimal, or 0x hexadecimal), a symbolic name such as FG_GRAY16 that the applet "
         "resolves, a number such as 29.97 for double parameters, or a text for string "
         "parameters. A value the applet refuses stops the chain with the reason (read-only, "
         "the limits and step as they are now, the parameter whose timing rule it breaks) and "
         "the applet's error code.",
         {{"NAME=VALUE", "a parameter and its new value", true, true}},
         {},
         "pvctl set FG_FORMAT=FG_GRAY16\npvctl set FG_WIDTH=640 FG_HEIGHT=480 + get FG_WIDTH\n"
         "pvctl set FG_TRIGGER_FRAMESPERSECOND=29.97",
         checkSet,
         prepareSet,
         nullptr,
         runSet},
        {"describe",
         "a parameter's description, limits and values",
         "Prints the applet's description of each parameter, with its category, type, access, "
         "limits, unit, the values an enumeration takes and the current value.",
         {{"NAME", "a parameter name", true, true}},
         {},
         "pvctl describe FG_TRIGGERSTATE",
         nullptr,
         prepareNames,
         nullptr,
         runDescribe},
        {"save",
         "save every parameter to a configuration file",
         "Saves the applet's parameter set as a configuration file (the name must contain "
         ".mcf). The lookup-table entries themselves are not part of it; `lut save` writes them.",
         {{"FILE.mcf", "the configuration file to write", true, false}},
         {},
         "pvctl set FG_WIDTH=640 + save camera.mcf",
         checkMcfName,
         nullptr,
         nullptr,
         runSave},
        {"load",
         "check and load a configuration file",
         "Checks a configuration file as `check` does, prints what the check finds, and loads "
         "it into the applet (with --strict only when the check finds no error). Each "
         "invocation starts from a fresh applet, so load it in the same invocation as the "
         "commands that need it (or use --config).",
         {{"FILE.mcf", "the configuration file to load", true, false}},
         {kStrict, kNoCheck},
         "pvctl load camera.mcf + grab 3\npvctl load --strict camera.mcf",
         nullptr,
         nullptr,
         checkedFiles,
         runLoad},
        {"lut save",
         "write the lookup table to a file",
         "Writes the current table as a lookup-table file.",
         {{"FILE", "the file to write", true, false}},
         {},
         "pvctl set FG_PROCESSING_GAMMA=2.2 + lut save gamma.lut",
         nullptr,
         nullptr,
         nullptr,
         runLutSave},
        {"lut load",
         "check a lookup-table file and make it the table in use",
         "Checks a lookup-table file as `check` does, prints what the check finds, loads it and "
         "makes it the table in use (FG_LUT_TYPE=LUT_TYPE_CUSTOM); with --strict only when the "
         "check finds no error.",
         {{"FILE", "the lookup-table file to load", true, false}},
         {kStrict, kNoCheck},
         "pvctl lut load gamma.lut + lut show 0 16",
         nullptr,
         nullptr,
         checkedFiles,
         runLutLoad},
        {"lut show",
         "print lookup-table entries",
         "Prints the table's entries, 8 a line; FIRST and COUNT pick a range.",
         {{"FIRST", "the first entry (default 0)", false, false},
          {"COUNT", "how many (default: to the end)", false, false}},
         {},
         "pvctl lut show 0 16",
         checkLutShow,
         nullptr,
         nullptr,
         runLutShow},
        {"check",
         "check configuration and lookup-table files",
         "Reads each file as the applet would load it and checks every value against the live "
         "limits and values of a fresh applet: values a set would refuse, text that is not a "
         "number, unknown and repeated keys, missing keys and sections, Windows line ends, "
         "entries that are missing or out of order, a lookup-table file named by a "
         "configuration that does not exist. Each finding names the file, line and key. A name "
         "containing .mcf is a configuration file, any other a lookup-table file. The exit "
         "status is 1 when a file has errors.",
         {{"FILE", "a .mcf or lookup-table file", true, true}},
         {},
         "pvctl check camera.mcf gamma.lut\npvctl --json check camera.mcf",
         nullptr,
         nullptr,
         allFiles,
         runNothing,
         false},
        {"xml",
         "the GenApi register description",
         "Prints the applet's GenApi XML document, or writes it to FILE.",
         {},
         {{"-o,--output", "FILE", "write the document to FILE", "FILE"}},
         "pvctl xml -o pellvane.xml",
         nullptr,
         nullptr,
         nullptr,
         runXml},
        {"trigger",
         "send software trigger pulses",
         "Sends COUNT software trigger pulses (default 1, at most 2040). The trigger system must "
         "be in software mode and active; with FG_TRIGGERQUEUE_MODE=FG_ON they go in at once.",
         {{"COUNT", "how many pulses", false, false}},
         {},
         "pvctl set FG_AREATRIGGERMODE=ATM_SOFTWARE FG_TRIGGERSTATE=TS_ACTIVE + trigger 5",
         checkTrigger,
         nullptr,
         nullptr,
         runTrigger},
        {"events",
         "the events the design offers, with their masks",
         "Lists the events the applet publishes: bit, mask and name. With NAME, prints that "
         "event's mask.",
         {{"NAME", "an event name", false, false}},
         {},
         "pvctl events\npvctl events FG_OVERFLOW_CAM0",
         nullptr,
         nullptr,
         nullptr,
         runEvents},
        {"grab",
         "acquire N pictures into files",
         "Acquires N pictures and saves each as PREFIX-001.png, PREFIX-002.png, ... (8- or "
         "16-bit grey as FG_FORMAT says). Saving runs beside acquiring: writer threads take the "
         "pictures from a queue as long as the frame buffers; a picture that the ring overwrites "
         "before it could be copied is lost. The folder of PREFIX is made before anything is "
         "acquired. A stopped trigger system is started for the grab and stopped again "
         "afterwards; in software trigger mode pvctl sends one pulse per picture. The summary "
         "counts the pictures acquired, saved and lost; the exit status is 3 when pictures were "
         "lost and 130 after Ctrl-C (the summary is printed all the same). A progress bar goes "
         "to a terminal (--progress forces it).",
         {{"N", "how many pictures (1 to 1000000)", true, false}},
         {{"-o,--output", "PREFIX", "file names start with PREFIX (default \"frame\")", "FILE"},
          {"--format", "FORMAT", "png (default), pgm, tiff or raw", "png pgm tiff raw"},
          {"--png-level", "L", "PNG compression, 1 (fastest, default) to 9 (smallest)"},
          kBuffers,
          {"--threads", "N", "writer threads (default: one per processor)"},
          kTimeout,
          kNoStart,
          {"--progress", nullptr, "draw the progress bar even when standard error is no terminal"}},
         "pvctl grab 3\npvctl set FG_FORMAT=FG_GRAY16 FG_WIDTH=640 + grab 10 -o shots/run\n"
         "pvctl set FG_TRIGGER_FRAMESPERSECOND=100 + grab 1000 --format raw --buffers 64",
         checkGrab,
         nullptr,
         nullptr,
         runGrab},
        {"stream",
         "acquire without saving and print the rates every second",
         "Acquires N pictures, or for S seconds, or until Ctrl-C, without saving them, and "
         "prints once a second the frames per second, MB/s, the pictures the board lost and its "
         "buffer fill level, then a summary (with --json the summary is the JSON document and "
         "the lines go to standard error). The exit status is 3 when the board lost pictures.",
         {{"N", "how many pictures (default: no limit)", false, false}},
         {{"--seconds", "S", "stop after S seconds"}, kBuffers, kTimeout, kNoStart},
         "pvctl set FG_TRIGGER_FRAMESPERSECOND=200 + stream --seconds 5\npvctl stream 100",
         checkStream,
         nullptr,
         nullptr,
         runStream},
        {"help",
         "this overview, or a command's help",
         "pvctl help COMMAND is the same as pvctl COMMAND --help.",
         {{"COMMAND", "a command", false, true}},
         {},
         "pvctl help grab",
         nullptr,
         nullptr,
         nullptr,
         runHelp,
         false},
    };
    return table;
}

const Command* findCommand(const std::vector<std::string>& words, std::size_t& used) {
    if (words.empty()) return nullptr;
    for (const Command& c : commands()) {
        const std::string name = c.name;
        if (words.size() > 1 && name == words[0] + " " + words[1]) {
            used = 2;
            return &c;
        }
        if (name == words[0]) {
            used = 1;
            return &c;
        }
    }
    return nullptr;
}

} // namespace pvctl
