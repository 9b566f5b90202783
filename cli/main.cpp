// The `chartloom` command line: the reference host as a tool.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/usage_error.h"
#include "toolbase/terminal_text.h"

int main(int argc, char** argv) {
    using namespace chartloom::cli;
    CommandLine line;
    try {
        line = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "chartloom: %s\n", chartloom::printable(e.what(), true).c_str());
        return 2;
    }
    return runCommandLine(line);
}
