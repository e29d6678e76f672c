// The command table turned into a parser (CLI11), help texts, a man page and a bash completion,
// so that all four always say the same.
#include "Commands.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace pvctl {

namespace {

// Splits "-o,--output" into its names; the long one is the key of Args::options.
std::vector<std::string> namesOf(const OptionSpec& o) {
    std::vector<std::string> out;
    std::string s = o.names;
    for (std::size_t pos = 0; pos <= s.size();) {
        std::size_t end = s.find(',', pos);
        if (end == std::string::npos) end = s.size();
        out.push_back(s.substr(pos, end - pos));
        pos = end + 1;
    }
    return out;
}

std::string longName(const OptionSpec& o) {
    return namesOf(o).back();
}

std::string usageOf(const Command& c) {
    std::string out = std::string("pvctl ") + c.name;
    for (const ArgumentSpec& a : c.arguments) {
        std::string w = std::string(a.name) + (a.many ? "..." : "");
        out += " " + (a.required ? w : "[" + w + "]");
    }
    if (!c.options.empty()) out += " [OPTIONS]";
    return out;
}

// Words wrapped to lines of at most `width` characters, each line starting with `indent`.
std::string wrap(const std::string& text, std::size_t indent, std::size_t width = 79) {
    std::string out, line(indent, ' ');
    std::size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        std::size_t end = text.find(' ', pos);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(pos, end - pos);
        pos = end + 1;
        if (!first && line.size() + 1 + word.size() > width) {
            out += line + "\n";
            line = std::string(indent, ' ') + word;
        } else {
            line += (first ? "" : " ") + word;
        }
        first = false;
    }
    return out + line + "\n";
}

std::string optionLabel(const OptionSpec& o) {
    std::string label;
    for (const std::string& n : namesOf(o))
        label += (label.empty() ? "" : ", ") + n;
    if (o.value != nullptr) label += std::string(" ") + o.value;
    return label;
}

std::string table(const std::vector<std::pair<std::string, std::string>>& rows) {
    std::string out;
    for (const auto& [left, right] : rows) {
        std::string l = "  " + left;
        if (l.size() < 24) {
            l.resize(24, ' ');
            std::string body = wrap(right, 24);
            out += l + body.substr(24);
        } else {
            out += l + "\n" + wrap(right, 24);
        }
    }
    return out;
}

// roff with its special characters kept as text.
std::string roff(const std::string& text) {
    std::string out;
    for (char ch : text) {
        if (ch == '\\')
            out += "\\e";
        else if (ch == '-')
            out += "\\-";
        else
            out += ch;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string lines(const std::string& text, const std::string& indent) {
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        out += indent + text.substr(pos, end - pos) + "\n";
        pos = end + 1;
    }
    return out;
}

} // namespace

Args parseArgs(const Command& c, const std::vector<std::string>& words) {
    CLI::App app{c.summary, c.name};
    app.set_help_flag();
    // Options begin with '-' everywhere: a word such as /tmp/run.mcf is a file, on Windows too.
    app.allow_windows_style_options(false);
    Args a;
    std::vector<std::vector<std::string>> positional(c.arguments.size());
    std::vector<std::string> single(c.arguments.size());
    for (std::size_t i = 0; i < c.arguments.size(); ++i) {
        const ArgumentSpec& spec = c.arguments[i];
        CLI::Option* o = spec.many ? app.add_option("argument" + std::to_string(i), positional[i])
                                   : app.add_option("argument" + std::to_string(i), single[i]);
        if (spec.required) o->required();
    }
    std::vector<std::string> values(c.options.size());
    std::vector<bool> flags(c.options.size(), false);
    for (std::size_t i = 0; i < c.options.size(); ++i) {
        const OptionSpec& spec = c.options[i];
        if (spec.value != nullptr) {
            app.add_option(spec.names, values[i]);
        } else {
            app.add_flag_callback(spec.names, [&flags, i] { flags[i] = true; });
        }
    }
    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        std::string what = e.what();
        if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr ||
            dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr)
            what = "usage: " + usageOf(c);
        throw UsageError(std::string(c.name) + ": " + what + " (see pvctl " + c.name + " --help)");
    }
    for (std::size_t i = 0; i < c.arguments.size(); ++i) {
        if (c.arguments[i].many)
            a.positional.insert(a.positional.end(), positional[i].begin(), positional[i].end());
        else if (app.count("argument" + std::to_string(i)) > 0)
            a.positional.push_back(single[i]);
    }
    for (std::size_t i = 0; i < c.options.size(); ++i) {
        const OptionSpec& spec = c.options[i];
        if (spec.value != nullptr && app.count(namesOf(spec).back()) > 0)
            a.options[longName(spec)] = values[i];
        else if (flags[i])
            a.flags.insert(longName(spec));
    }
    if (c.check) c.check(a);
    return a;
}

std::string overview() {
    std::string out =
        "pvctl: inspect and drive the Pellvane applet on a board (the virtual board by "
        "default).\n\n"
        "usage: pvctl [OPTIONS] COMMAND [ARGS] [+ COMMAND [ARGS]]...\n\n" +
        wrap("Each invocation opens the applet afresh. Chain commands with a lone + to run them "
             "on the same applet, or keep the settings in a session file (--session). The whole "
             "chain is checked before the board is opened.",
             0) +
        "\nOptions:\n";
    std::vector<std::pair<std::string, std::string>> rows;
    for (const OptionSpec& o : globalOptions())
        rows.emplace_back(optionLabel(o), o.help);
    out += table(rows) + "\nCommands:\n";
    rows.clear();
    for (const Command& c : commands())
        rows.emplace_back(c.name, c.summary);
    out += table(rows);
    out += "\n" + wrap("Errors say what went wrong and keep the applet's error code for reference. "
                       "Exit status: 0 success; 1 an error of the applet, the host library or "
                       "a file; 2 a wrong command line (nothing was done); 3 pictures were lost; "
                       "130 stopped by Ctrl-C.",
                       0);
    return out;
}

std::string commandHelp(const Command& c) {
    std::string out = "usage: " + usageOf(c) + "\n\n" + wrap(c.description, 0);
    std::vector<std::pair<std::string, std::string>> rows;
    for (const ArgumentSpec& a : c.arguments)
        rows.emplace_back(a.name, a.help);
    if (!rows.empty()) out += "\nArguments:\n" + table(rows);
    rows.clear();
    for (const OptionSpec& o : c.options)
        rows.emplace_back(optionLabel(o), o.help);
    if (!rows.empty()) out += "\nOptions:\n" + table(rows);
    return out + "\nExamples:\n" + lines(c.examples, "  ");
}

std::string manPage(const std::string& version) {
    std::string out = ".TH PVCTL 1 \"\" \"pvctl " + version + "\" \"Pellvane tools\"\n";
    out += ".SH NAME\npvctl \\- inspect and drive the Pellvane applet on a board\n";
    out += ".SH SYNOPSIS\n.B pvctl\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGS\\fR] "
           "[\\fB+\\fR \\fICOMMAND\\fR [\\fIARGS\\fR]]...\n";
    out += ".SH DESCRIPTION\n" +
           roff("pvctl opens the applet through the host library, as an acquisition program "
                "does, runs the commands of its command line on it, and closes it. Commands "
                "separated by a lone + share the applet; the whole chain is checked before the "
                "board is opened.") +
           "\n.SH OPTIONS\n";
    for (const OptionSpec& o : globalOptions())
        out += ".TP\n.B " + roff(optionLabel(o)) + "\n" + roff(o.help) + "\n";
    out += ".SH COMMANDS\n";
    for (const Command& c : commands()) {
        out += ".SS " + roff(usageOf(c)) + "\n" + roff(c.description) + "\n";
        for (const ArgumentSpec& a : c.arguments)
            out += ".TP\n.I " + roff(a.name) + "\n" + roff(a.help) + "\n";
        for (const OptionSpec& o : c.options)
            out += ".TP\n.B " + roff(optionLabel(o)) + "\n" + roff(o.help) + "\n";
        out += ".PP\nExamples:\n.RS\n.nf\n" + lines(roff(c.examples), "") + ".fi\n.RE\n";
    }
    out += ".SH EXIT STATUS\n0 success; 1 an error of the applet, the host library or a file; 2 "
           "a wrong command line (nothing was done); 3 pictures were lost; 130 stopped by "
           "Ctrl\\-C.\n";
    out += ".SH ENVIRONMENT\n.TP\n.B PVCTL_SESSION\nthe session file when \\-\\-session is not "
           "given\n.TP\n.B LD_LIBRARY_PATH\nwhere the applet and the host library are found\n";
    out += ".SH SEE ALSO\nThe user guide, docs/user\\-guide.md.\n";
    return out;
}

std::string bashCompletion() {
    std::string first, globals, cases;
    for (const Command& c : commands()) {
        const std::string name = c.name;
        const std::string word = name.substr(0, name.find(' '));
        if (first.find(" " + word + " ") == std::string::npos &&
            first.compare(0, word.size() + 1, word + " ") != 0)
            first += word + " ";
    }
    for (const OptionSpec& o : globalOptions())
        for (const std::string& n : namesOf(o))
            globals += n + " ";
    std::string subwords;
    for (const Command& c : commands()) {
        const std::string name = c.name;
        if (name.find(' ') != std::string::npos) subwords += name.substr(name.find(' ') + 1) + " ";
        std::string options, valued, fileValued, lists;
        for (const OptionSpec& o : c.options) {
            for (const std::string& n : namesOf(o)) {
                options += n + " ";
                if (o.value == nullptr) continue;
                const std::string what = o.complete != nullptr ? o.complete : "";
                if (what == "FILE")
                    fileValued += n + "|";
                else if (!what.empty())
                    lists += "            " + n + ") COMPREPLY=($(compgen -W \"" + what +
                             "\" -- \"$cur\")); return ;;\n";
                else
                    valued += n + "|";
            }
        }
        cases += "        \"" + name + "\")\n";
        cases += "            case \"$prev\" in\n" + lists;
        if (!fileValued.empty())
            cases += "            " + fileValued.substr(0, fileValued.size() - 1) +
                     ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
        if (!valued.empty())
            cases += "            " + valued.substr(0, valued.size() - 1) + ") return ;;\n";
        cases += "            esac\n            opts=\"" + options + "\" ;;\n";
    }
    std::string valuedGlobals;
    for (const OptionSpec& o : globalOptions())
        if (o.value != nullptr) valuedGlobals += longName(o) + "|";
    valuedGlobals.pop_back();
    return "# bash completion for pvctl (made by pvctl --bash-completion from its command table)\n"
           "_pvctl() {\n"
           "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
           "    local i start=1 command=\"\" opts=\"\"\n"
           "    # The command of the current + segment: its first word (two for lut).\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        [ \"${COMP_WORDS[i]}\" = \"+\" ] && start=$((i + 1))\n"
           "    done\n"
           "    for ((i = start; i < COMP_CWORD; i++)); do\n"
           "        case \"${COMP_WORDS[i]}\" in\n"
           "            " +
           valuedGlobals +
           ") [ -z \"$command\" ] && i=$((i + 1)) ;;\n"
           "            -*) ;;\n"
           "            *) if [ -z \"$command\" ]; then command=\"${COMP_WORDS[i]}\";\n"
           "               elif [ \"$command\" = lut ] && [ \"$i\" -eq \"$((start + 1))\" ]; then\n"
           "                   command=\"lut ${COMP_WORDS[i]}\"; fi ;;\n"
           "        esac\n"
           "    done\n"
           "    if [ -z \"$command\" ]; then\n"
           "        case \"$prev\" in\n"
           "            --config|--session) COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
           "            --board|--applet) return ;;\n"
           "        esac\n"
           "        if [[ \"$cur\" == -* ]]; then\n"
           "            COMPREPLY=($(compgen -W \"" +
           globals +
           "\" -- \"$cur\"))\n"
           "        else\n"
           "            COMPREPLY=($(compgen -W \"" +
           first +
           "\" -- \"$cur\"))\n"
           "        fi\n"
           "        return\n"
           "    fi\n"
           "    if [ \"$command\" = lut ]; then\n"
           "        COMPREPLY=($(compgen -W \"" +
           subwords +
           "\" -- \"$cur\")); return\n"
           "    fi\n"
           "    case \"$command\" in\n" +
           cases +
           "    esac\n"
           "    if [[ \"$cur\" == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$opts --help\" -- \"$cur\"))\n"
           "    else\n"
           "        COMPREPLY=($(compgen -f -W \"+\" -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "complete -o filenames -F _pvctl pvctl\n";
}

} // namespace pvctl
