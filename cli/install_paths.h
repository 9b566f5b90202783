// Where the program finds the plug-in and the demo data: installed beside it (bin/ and
// lib/chartloom/, share/chartloom/), or, run from the build tree, where the build put them.
#pragma once

#include <string>

namespace chartloom::cli {

// $CHARTLOOM_PLUGIN, else the installed plug-in, else the one built beside this program.
std::string pluginFile();
// The installed demo data, else the source tree's.
std::string demoDataFolder();

}  // namespace chartloom::cli
