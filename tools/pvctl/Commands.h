// pvctl's commands: one table of descriptions (arguments, options, help, examples) from which
// the parser, `--help`, the man page and the bash completion are all made, and the handlers.
#pragma once

#include "Board.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace pvctl {

using pellvane::tools::Board;
using pellvane::tools::BoardError;
using pellvane::tools::ValueError;
using Json = nlohmann::ordered_json;

// A mistake in the command line itself (exit status 2); nothing has been done yet.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure that is neither the applet's nor the command line's (exit status 1, no code).
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Exit statuses.
inline constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitLost = 3,
                     kExitInterrupted = 130;

// What every command of one invocation shares: the options and the one board they work on.
struct Context {
    std::string applet = "Pellvane";
    unsigned boardIndex = 0;
    bool json = false;
    std::unique_ptr<Board> board;
    // Set when the user asks to stop (Ctrl-C); commands that wait look at it.
    const std::atomic<bool>* interrupted = nullptr;
    // The exit status the commands ask for beyond success (lost pictures, an interruption,
    // findings in a file).
    int status = kExitOk;

    Board& open();
    bool stopRequested() const { return interrupted != nullptr && interrupted->load(); }
    // One JSON document per command, one per line.
    void emit(const Json& j) const;
};

// One command's words after its name, as the parser split them.
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options; // by long name, e.g. "--output"
    std::set<std::string> flags;

    const std::string* option(const std::string& name) const;
    bool flag(const std::string& name) const { return flags.count(name) != 0; }
};

struct ArgumentSpec {
    const char* name; // "NAME=VALUE"
    const char* help;
    bool required;
    bool many;
};

struct OptionSpec {
    const char* names; // "-o,--output"
    const char* value; // "PREFIX"; null for a flag
    const char* help;
    const char* complete = nullptr; // completion words, or "FILE" / "DIR"
};

struct Command {
    const char* name; // one or two words: "grab", "lut load"
    const char* summary;
    const char* description;
    std::vector<ArgumentSpec> arguments;
    std::vector<OptionSpec> options;
    const char* examples;
    // Checks what can be checked without a board (numbers, forms); throws UsageError.
    std::function<void(const Args&)> check;
    // Checks what needs the applet (names, value texts) before any command runs; throws
    // ValueError.
    std::function<void(const Board&, const Args&)> prepare;
    // Files the command reads that the applet loads: checked on a fresh applet first.
    std::function<std::vector<std::string>(const Args&)> filesToCheck;
    std::function<void(Context&, const Args&)> run;
    bool needsBoard = true;
};

const std::vector<Command>& commands();
// The command a chain segment starts with (one or two words); the number of words it took.
const Command* findCommand(const std::vector<std::string>& words, std::size_t& used);

// The global options, described once for the parser, the help and the man page.
const std::vector<OptionSpec>& globalOptions();

// Splits the words of one command with CLI11; throws UsageError.
Args parseArgs(const Command& c, const std::vector<std::string>& words);

std::string overview();
std::string commandHelp(const Command& c);
std::string manPage(const std::string& version);
std::string bashCompletion();

// Runs the check of a file on a fresh applet and prints its findings; true when it found errors.
bool reportFileCheck(Context& ctx, Board& fresh, const std::string& file, bool asCommand);

} // namespace pvctl
