// pvctl: the Pellvane applet from a terminal and from scripts.
//
//   pvctl [OPTIONS] COMMAND [ARGS] [+ COMMAND [ARGS]]...
//
// Every invocation opens the applet afresh through the host library; the commands of one
// invocation, separated by a lone "+", share that applet. The whole chain is checked before the
// board is opened: first its words, then the files it loads (on a fresh applet of their own),
// then, on the opened board, the parameter names and values it names; only then does the first
// command run. A session file (--session or $PVCTL_SESSION) carries the parameters from one
// invocation to the next.
#include "Commands.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace pvctl;

// Set by Ctrl-C. The handler does nothing else: the acquisition loops look at the flag, stop
// the board cleanly and still print their summary. A second Ctrl-C ends the program at once.
std::atomic<bool> interruptRequested{false};

extern "C" void onInterrupt(int) {
    interruptRequested.store(true);
    std::signal(SIGINT, SIG_DFL);
}

struct Invocation {
    Context ctx;
    std::string config, session;
    struct Step {
        const Command* command;
        Args args;
    };
    std::vector<Step> steps;
};

unsigned parseBoard(const std::string& text) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != text.npos)
        throw UsageError("--board takes a board index, not '" + text + "'");
    return static_cast<unsigned>(std::stoul(text));
}

bool wantsHelp(const std::vector<std::string>& words) {
    return std::any_of(words.begin(), words.end(),
                       [](const std::string& w) { return w == "-h" || w == "--help"; });
}

// Parses the command line. Answers an exit status when the invocation is done already (help,
// version), nothing when the steps are to be run.
std::optional<int> parseCommandLine(int argc, char** argv, Invocation& inv) {
    if (const char* s = std::getenv("PVCTL_SESSION"); s != nullptr) inv.session = s;
    CLI::App app{"pvctl"};
    app.set_help_flag();
    app.allow_windows_style_options(false);
    app.prefix_command();
    std::string board;
    bool help = false, version = false, man = false, completion = false;
    app.add_option("--board", board);
    app.add_option("--applet", inv.ctx.applet);
    app.add_option("--config", inv.config);
    app.add_option("--session", inv.session);
    app.add_flag("--json", inv.ctx.json);
    app.add_flag("-h,--help", help);
    app.add_flag("--version", version);
    // For the build: the man page and the completion come from the same table as --help.
    app.add_flag("--man-page", man)->group("");
    app.add_flag("--bash-completion", completion)->group("");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        throw UsageError(std::string(e.what()) + " (see pvctl --help)");
    }
    if (!board.empty()) inv.ctx.boardIndex = parseBoard(board);
    if (version) {
        std::printf("pvctl %s\n", PELLVANE_VERSION);
        return kExitOk;
    }
    if (man) {
        std::fputs(manPage(PELLVANE_VERSION).c_str(), stdout);
        return kExitOk;
    }
    if (completion) {
        std::fputs(bashCompletion().c_str(), stdout);
        return kExitOk;
    }
    std::vector<std::string> words = app.remaining();
    if (help) {
        std::fputs(overview().c_str(), stdout);
        return kExitOk;
    }
    if (words.empty()) throw UsageError("no command given (see pvctl --help)");
    if (words[0].size() > 1 && words[0][0] == '-')
        throw UsageError("unknown option " + words[0] + " (see pvctl --help)");

    std::vector<std::vector<std::string>> segments(1);
    for (const std::string& w : words) {
        if (w == "+") {
            if (segments.back().empty()) throw UsageError("'+' without a command before it");
            segments.emplace_back();
        } else {
            segments.back().push_back(w);
        }
    }
    if (segments.back().empty()) throw UsageError("'+' without a command after it");
    for (const auto& segment : segments) {
        std::size_t used = 0;
        const Command* c = findCommand(segment, used);
        if (c == nullptr) {
            if (segment[0] == "lut" && wantsHelp(segment)) {
                for (const Command& each : commands())
                    if (std::string(each.name).rfind("lut ", 0) == 0)
                        std::fputs((commandHelp(each) + "\n").c_str(), stdout);
                return kExitOk;
            }
            if (segment[0] == "lut")
                throw UsageError("lut takes save, load or show (see pvctl lut --help)");
            throw UsageError("no command '" + segment[0] + "' (see pvctl --help)");
        }
        std::vector<std::string> rest(segment.begin() + static_cast<std::ptrdiff_t>(used),
                                      segment.end());
        if (wantsHelp(rest)) {
            std::fputs(commandHelp(*c).c_str(), stdout);
            return kExitOk;
        }
        inv.steps.push_back({c, parseArgs(*c, rest)});
    }
    if (!inv.session.empty() && inv.session.find(".mcf") == std::string::npos)
        throw UsageError("the session file name must contain .mcf, not '" + inv.session + "'");
    if (!inv.config.empty() && inv.config.find(".mcf") == std::string::npos)
        throw UsageError("--config takes a file whose name contains .mcf, not '" + inv.config +
                         "'");
    return std::nullopt;
}

// Checks the files the chain loads, on a fresh applet opened for this alone (a board is opened
// once at a time), and refuses them with --strict when the check finds errors.
void checkFiles(Invocation& inv) {
    struct File {
        std::string name;
        bool asCommand, strict;
    };
    std::vector<File> files;
    if (!inv.config.empty()) files.push_back({inv.config, false, false});
    for (const auto& step : inv.steps) {
        if (!step.command->filesToCheck) continue;
        const bool asCommand = std::string(step.command->name) == "check";
        for (const std::string& f : step.command->filesToCheck(step.args)) {
            // A file that an earlier command of the chain writes is not there yet: the load
            // reports it if it is still missing then.
            if (!asCommand && !std::filesystem::exists(f)) continue;
            files.push_back({f, asCommand, step.args.flag("--strict")});
        }
    }
    if (files.empty()) return;
    Board fresh(inv.ctx.applet, inv.ctx.boardIndex);
    for (const File& f : files) {
        const bool errors = reportFileCheck(inv.ctx, fresh, f.name, f.asCommand);
        if (errors && f.asCommand) inv.ctx.status = std::max(inv.ctx.status, kExitFailed);
        if (errors && f.strict)
            throw Failure("refused " + f.name + ": the check found errors (--strict)");
    }
}

void reportBoardError(const Context& ctx, const BoardError& e) {
    const std::string words = pellvane::tools::errorWords(e.code());
    if (e.explanation().empty())
        std::fprintf(stderr, "pvctl: %s: error %d: %s\n", e.what(), e.code(), words.c_str());
    else
        std::fprintf(stderr, "pvctl: %s: %s (error %d: %s)\n", e.what(), e.explanation().c_str(),
                     e.code(), words.c_str());
    if (!e.hint().empty()) std::fprintf(stderr, "pvctl: %s\n", e.hint().c_str());
    if (ctx.json) {
        Json j = {{"code", e.code()}, {"message", words}, {"context", e.what()}};
        if (!e.explanation().empty()) j["explanation"] = e.explanation();
        if (!e.hint().empty()) j["hint"] = e.hint();
        ctx.emit(Json{{"error", std::move(j)}});
    }
}

void reportPlainError(const Context& ctx, const std::string& message) {
    std::fprintf(stderr, "pvctl: %s\n", message.c_str());
    if (ctx.json) ctx.emit(Json{{"error", {{"code", nullptr}, {"message", message}}}});
}

int run(int argc, char** argv) {
    Invocation inv;
    inv.ctx.interrupted = &interruptRequested;
    try {
        if (std::optional<int> done = parseCommandLine(argc, argv, inv)) return *done;
        checkFiles(inv);
        Context& ctx = inv.ctx;
        const bool needsBoard = !inv.config.empty() || !inv.session.empty() ||
                                std::any_of(inv.steps.begin(), inv.steps.end(),
                                            [](const auto& s) { return s.command->needsBoard; });
        if (needsBoard) {
            Board& b = ctx.open();
            for (const auto& step : inv.steps)
                if (step.command->prepare) step.command->prepare(b, step.args);
        }
        if (!inv.config.empty()) ctx.open().loadConfig(inv.config);
        if (!inv.session.empty() && std::filesystem::exists(inv.session))
            ctx.open().loadConfig(inv.session);
        std::signal(SIGINT, onInterrupt);
        for (const auto& step : inv.steps) {
            step.command->run(ctx, step.args);
            if (ctx.stopRequested()) break;
        }
        if (!inv.session.empty() && ctx.board && ctx.status == kExitOk)
            ctx.board->saveConfig(inv.session);
        return ctx.status;
    } catch (const UsageError& e) {
        reportPlainError(inv.ctx, e.what());
        return kExitUsage;
    } catch (const ValueError& e) {
        reportPlainError(inv.ctx, e.what());
        return kExitUsage;
    } catch (const BoardError& e) {
        reportBoardError(inv.ctx, e);
        return kExitFailed;
    } catch (const Failure& e) {
        reportPlainError(inv.ctx, e.what());
        return kExitFailed;
    }
}

} // namespace

int main(int argc, char** argv) {
    return run(argc, argv);
}
