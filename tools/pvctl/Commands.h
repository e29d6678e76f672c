// pvctl's subcommands: one table of name, arguments, help and handler.
#pragma once

#include "Board.h"
#include "Json.h"

#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace pvctl {

// A mistake in the command line itself (exit status 2).
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What every command of one invocation shares: the options and the one board they work on.
struct Context {
    std::string applet = "Pellvane";
    unsigned boardIndex = 0;
    bool json = false;
    std::unique_ptr<Board> board;

    // Opens the board at the first command that needs it.
    Board& open();
    // One JSON document per command, one per line.
    void emit(const Json& j) const;
};

// One command's words after its name, split into positional arguments, options with a value
// and flags.
struct Args {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    std::set<std::string> flags;

    const std::string* option(const std::string& name) const;
    bool flag(const std::string& name) const { return flags.count(name) != 0; }
};

struct Command {
    const char* name;
    const char* usage;   // arguments, e.g. "NAME=VALUE..."
    const char* summary; // one line for the command list
    const char* help;    // the full text of `pvctl COMMAND --help`
    int minArgs, maxArgs;
    std::vector<std::string> valueOptions; // e.g. "--output"; "-o" is its short form
    std::vector<std::string> flagOptions;
    void (*run)(Context&, const Args&);
};

const std::vector<Command>& commands();
const Command* findCommand(const std::string& name);

// Splits the words of one command; throws UsageError.
Args parseArgs(const Command& c, const std::vector<std::string>& words);

// The list of commands for `pvctl --help`.
std::string overview();
std::string commandHelp(const Command& c);

} // namespace pvctl
