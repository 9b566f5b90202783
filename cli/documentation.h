// The man page and the shell completion, made from the option table, so that they name every
// option --help names and no other.
#pragma once

#include <string>

namespace chartloom::cli {

// `templateText` with "@OPTIONS@" (a line of its own) replaced by the options of every
// command, and "@VERSION@" by `version`.
std::string manPage(const std::string& templateText, const std::string& version);

// A bash completion script that needs nothing but bash.
std::string bashCompletion();

}  // namespace chartloom::cli
