#include "cli/install_paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace chartloom::cli {
namespace fs = std::filesystem;

namespace {

// `relative` to the folder of the running program, if it exists there.
std::string besideProgram(const char* relative) {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    fs::path candidate = (self.parent_path() / relative).lexically_normal();
    return fs::exists(candidate, ec) ? candidate.string() : std::string();
}

}  // namespace

std::string pluginFile() {
    const char* env = std::getenv("CHARTLOOM_PLUGIN");
    if (env && *env)
        return env;
    std::string installed = besideProgram(CHARTLOOM_INSTALLED_PLUGIN);
    return installed.empty() ? CHARTLOOM_DEFAULT_PLUGIN : installed;
}

std::string demoDataFolder() {
    std::string installed = besideProgram(CHARTLOOM_INSTALLED_DEMO);
    return installed.empty() ? CHARTLOOM_SOURCE_DIR "/data/demo" : installed;
}

}  // namespace chartloom::cli
