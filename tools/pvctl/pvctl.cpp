// pvctl: the Pellvane applet from a terminal and from scripts.
//
//   pvctl [OPTIONS] COMMAND [ARGS] [+ COMMAND [ARGS]]...
//
// Every invocation opens the applet afresh through the host library; the commands of one
// invocation, separated by a lone "+", share that applet. A session file (--session or
// $PVCTL_SESSION) carries the parameters from one invocation to the next.
#include "Commands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace pvctl;

struct Invocation {
    Context ctx;
    std::string config, session;
    std::vector<std::vector<std::string>> commands; // each: name, then its words
};

unsigned parseBoard(const std::string& text) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != text.npos)
        throw UsageError("--board takes a board index, not '" + text + "'");
    return static_cast<unsigned>(std::stoul(text));
}

Invocation parseCommandLine(int argc, char** argv) {
    Invocation inv;
    if (const char* s = std::getenv("PVCTL_SESSION"); s != nullptr) inv.session = s;
    int i = 1;
    auto value = [&](const std::string& option) -> std::string {
        if (i + 1 >= argc) throw UsageError(option + " needs a value");
        return argv[++i];
    };
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string o = argv[i];
        if (o == "--board") {
            inv.ctx.boardIndex = parseBoard(value(o));
        } else if (o == "--applet") {
            inv.ctx.applet = value(o);
        } else if (o == "--config") {
            inv.config = value(o);
        } else if (o == "--session") {
            inv.session = value(o);
        } else if (o == "--json") {
            inv.ctx.json = true;
        } else if (o == "-h" || o == "--help") {
            inv.commands = {{"help"}};
            return inv;
        } else {
            throw UsageError("unknown option " + o + " (see pvctl --help)");
        }
    }
    if (i == argc) throw UsageError("no command given (see pvctl --help)");
    inv.commands.emplace_back();
    for (; i < argc; ++i) {
        const std::string w = argv[i];
        if (w == "+") {
            if (inv.commands.back().empty()) throw UsageError("'+' without a command before it");
            inv.commands.emplace_back();
        } else {
            inv.commands.back().push_back(w);
        }
    }
    if (inv.commands.back().empty()) throw UsageError("'+' without a command after it");
    return inv;
}

void reportError(const Context& ctx, const std::string& context, int32_t code,
                 const std::string& hint) {
    const std::string words = errorWords(code);
    std::fprintf(stderr, "pvctl: %s: error %d: %s\n", context.c_str(), code, words.c_str());
    if (!hint.empty()) std::fprintf(stderr, "pvctl: %s\n", hint.c_str());
    if (ctx.json) {
        Json e = Json::object().set("code", code).set("message", words).set("context", context);
        if (!hint.empty()) e.set("hint", hint);
        ctx.emit(Json::object().set("error", std::move(e)));
    }
}

int run(int argc, char** argv) {
    Invocation inv;
    try {
        inv = parseCommandLine(argc, argv);
        // Check every command line before the applet is opened, so that a typo late in a
        // chain changes nothing.
        std::vector<std::pair<const Command*, Args>> plan;
        for (const auto& words : inv.commands) {
            const Command* c = findCommand(words[0]);
            if (c == nullptr) throw UsageError("no command '" + words[0] + "' (see pvctl --help)");
            std::vector<std::string> rest(words.begin() + 1, words.end());
            if (std::find(rest.begin(), rest.end(), "--help") != rest.end() ||
                std::find(rest.begin(), rest.end(), "-h") != rest.end()) {
                std::fputs(commandHelp(*c).c_str(), stdout);
                return 0;
            }
            plan.emplace_back(c, parseArgs(*c, rest));
        }
        if (!inv.session.empty() && inv.session.find(".mcf") == std::string::npos)
            throw UsageError("the session file name must contain .mcf, not '" + inv.session + "'");
        Context& ctx = inv.ctx;
        if (!inv.config.empty()) ctx.open().loadConfig(inv.config);
        if (!inv.session.empty() && std::filesystem::exists(inv.session))
            ctx.open().loadConfig(inv.session);
        for (auto& [c, args] : plan)
            c->run(ctx, args);
        if (!inv.session.empty() && ctx.board) ctx.board->saveConfig(inv.session);
        return 0;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "pvctl: %s\n", e.what());
        if (inv.ctx.json)
            inv.ctx.emit(Json::object().set(
                "error", Json::object().set("code", Json()).set("message", e.what())));
        return 2;
    } catch (const BoardError& e) {
        reportError(inv.ctx, e.what(), e.code(), e.hint());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    return run(argc, argv);
}
