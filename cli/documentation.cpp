#include "cli/documentation.h"

#include <CLI/CLI.hpp>

#include "cli/command_line.h"

namespace chartloom::cli {
namespace {

// Text as roff shows it: backslashes and minus signs escaped, no line taken for a request.
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\''))
        out.insert(0, "\\&");
    return out;
}

// "TEXT", "INT", "FLOAT" of CLI11's type names, as a placeholder for the value.
std::string valueName(const CLI::Option& option) {
    std::string type = option.get_type_name();
    type = type.substr(0, type.find_first_of(": "));
    if (type.empty() || type == "TEXT")
        return option.get_lnames().empty() ? "VALUE" : "TEXT";
    return type == "UINT" || type == "INT" ? "N" : type == "FLOAT" ? "NUMBER" : type;
}

// The options a command takes, as a list of --names (flags and options alike).
std::vector<const CLI::Option*> optionsOf(const CLI::App& command) {
    std::vector<const CLI::Option*> options;
    for (const CLI::Option* option : command.get_options()) {
        if (!option->get_lnames().empty())
            options.push_back(option);
    }
    return options;
}

void describe(std::string& out, const CLI::Option& option) {
    out += ".TP\n\\fB" + roff("--" + option.get_lnames().front()) + "\\fR";
    if (option.get_expected_max() > 0) {
        std::string value = valueName(option);
        out +=
            option.get_expected_min() == 0 ? "[=\\fI" + value + "\\fR]" : " \\fI" + value + "\\fR";
    }
    out += "\n" + roff(option.get_description());
    if (!option.get_default_str().empty())
        out += " (default: " + roff(option.get_default_str()) + ")";
    out += "\n";
}

}  // namespace

std::string manPage(const std::string& templateText, const std::string& version) {
    CommandLine line;
    CLI::App app;
    defineCommandLine(app, line);
    std::string options =
        ".SH OPTIONS\nOptions every command takes, which the configuration file "
        "may set at its top level:\n";
    for (const CLI::Option* option : optionsOf(app))
        describe(options, *option);
    for (const CLI::App* command : app.get_subcommands({})) {
        auto own = optionsOf(*command);
        bool any = false;
        for (const CLI::Option* option : own)
            any = any || option->get_lnames().front() != "help";
        if (!any)
            continue;
        options += ".SS " + roff(command->get_name()) + "\nIn a [" + roff(command->get_name()) +
                   "] section of the configuration file too.\n";
        for (const CLI::Option* option : own) {
            if (option->get_lnames().front() != "help")
                describe(options, *option);
        }
    }
    std::string page = templateText;
    for (auto [mark, text] :
         {std::pair<std::string, std::string>{"@OPTIONS@\n", options}, {"@VERSION@", version}}) {
        for (size_t at; (at = page.find(mark)) != std::string::npos;)
            page.replace(at, mark.size(), text);
    }
    return page;
}

std::string bashCompletion() {
    CommandLine line;
    CLI::App app;
    defineCommandLine(app, line);
    std::string commands, shared, perCommand;
    for (const CLI::App* command : app.get_subcommands({}))
        commands += (commands.empty() ? "" : " ") + command->get_name();
    for (const CLI::Option* option : optionsOf(app))
        shared += " --" + option->get_lnames().front();
    for (const CLI::App* command : app.get_subcommands({})) {
        std::string own;  // one a line: the script splits words at line breaks only
        for (const CLI::Option* option : optionsOf(*command))
            own += "\\n--" + option->get_lnames().front();
        perCommand += "        " + command->get_name() + ") options=$'" + own.substr(2) + "' ;;\n";
    }
    // Plain bash: no function of the bash-completion package is needed.
    return "# bash completion for chartloom, made from its option table\n"
           "_chartloom() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local command=${COMP_WORDS[1]} IFS=$'\\n'\n"
           "    if [[ $COMP_CWORD -eq 1 ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$(printf '%s\\n' " +
           commands +
           " --help --version)\" -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    case $prev in\n"
           "        --library|--cache|--index|--history-file|--config)\n"
           "            COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
           "        --playlists|--feeds|--data)\n"
           "            COMPREPLY=($(compgen -d -- \"$cur\")); return ;;\n"
           "        --charts)\n"
           "            COMPREPLY=($(compgen -W "
           "$'lastfm\\nlistenbrainz\\nlastfm,listenbrainz\\nhttp://' -- \"$cur\") "
           "$(compgen -d -- \"$cur\")); return ;;\n"
           "        --select)\n"
           "            COMPREPLY=($(compgen -W $'all\\nartist=\\npath=\\npos=' -- \"$cur\"))\n"
           "            compopt -o nospace 2>/dev/null; return ;;\n"
           "        --mode)\n"
           "            COMPREPLY=($(compgen -W $'shuffle\\nsimilar\\ncharts' -- \"$cur\")); "
           "return ;;\n"
           "        --match)\n"
           "            COMPREPLY=($(compgen -W $'exact\\nloose' -- \"$cur\")); return ;;\n"
           "        --active)\n"
           "            # The playlists the command would see: its --playlists or --mpd.\n"
           "            local i source=()\n"
           "            for ((i = 2; i < COMP_CWORD; i++)); do\n"
           "                case ${COMP_WORDS[i]} in\n"
           "                    --playlists|--config) source+=(\"${COMP_WORDS[i]}\" "
           "\"${COMP_WORDS[i+1]}\") ;;\n"
           "                    --playlists=*|--config=*|--mpd=*) source+=(\"${COMP_WORDS[i]}\") "
           ";;\n"
           "                    --mpd) source+=(--mpd) ;;\n"
           "                esac\n"
           "            done\n"
           "            COMPREPLY=($(compgen -W \"$(chartloom playlists \"${source[@]}\" "
           "2>/dev/null)\" "
           "-- \"$cur\"))\n"
           "            return ;;\n"
           "    esac\n"
           "    local options=\n"
           "    case $command in\n" +
           perCommand +
           "    esac\n"
           "    if [[ $cur == -* || $command != run ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$(printf '%s\\n' $options" +
           shared +
           " --help)\" -- \"$cur\"))\n"
           "        [[ $command == scan && $cur != -* ]] && COMPREPLY+=($(compgen -d -- "
           "\"$cur\"))\n"
           "    else\n"
           "        COMPREPLY=($(compgen -W $'Artist Charts Playlist\\nSort by Artist Charts\\n"
           "Similar Charts Playlist\\nSimilar Shuffle Playlist' -- \"$cur\"))\n"
           "        COMPREPLY=(\"${COMPREPLY[@]// /\\\\ }\")\n"
           "    fi\n"
           "}\n"
           "complete -F _chartloom chartloom\n";
}

}  // namespace chartloom::cli
