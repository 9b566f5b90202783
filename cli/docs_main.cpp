// chartloom-docs: writes the man page and the bash completion at build time.
//   chartloom-docs man TEMPLATE OUT
//   chartloom-docs completion OUT
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "cli/documentation.h"

int main(int argc, char** argv) {
    std::string what = argc > 1 ? argv[1] : "";
    std::string text;
    if (what == "man" && argc == 4) {
        std::ifstream in(argv[2]);
        std::stringstream page;
        page << in.rdbuf();
        if (!in) {
            std::cerr << "chartloom-docs: cannot read " << argv[2] << "\n";
            return 1;
        }
        text = chartloom::cli::manPage(page.str(), CHARTLOOM_VERSION);
    } else if (what == "completion" && argc == 3) {
        text = chartloom::cli::bashCompletion();
    } else {
        std::cerr << "usage: chartloom-docs man TEMPLATE OUT | completion OUT\n";
        return 2;
    }
    std::ofstream out(argv[argc - 1]);
    out << text;
    return out.good() ? 0 : 1;
}
