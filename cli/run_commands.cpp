#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "cli/chart_source.h"
#include "cli/commands.h"
#include "cli/interrupts.h"
#include "cli/progress_bar.h"
#include "cli/report.h"
#include "cli/task_display.h"
#include "cli/usage_error.h"
#include "platform/terminal_text.h"
#include "platform/wininet.h"
#include "stores/library_loader.h"
#include "stores/store_error.h"

namespace chartloom::cli {
using namespace stores;
namespace {

void printDiagnostic(const char* line) {
    std::fprintf(stderr, "chartloom: %s\n", printable(line).c_str());
}

template <class F>
int guarded(F&& body) {
    try {
        return body();
    } catch (const UsageError& e) {
        std::fprintf(stderr, "chartloom: %s\n", printable(e.what(), true).c_str());
        return 2;
    } catch (const player::PluginError& e) {
        std::fprintf(stderr, "chartloom: %s\n", printable(e.what(), true).c_str());
        return 2;
    } catch (const StoreError& e) {
        std::fprintf(stderr, "chartloom: %s\n", printable(e.what(), true).c_str());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "chartloom: %s\n", printable(e.what(), true).c_str());
        return 1;
    }
}

}  // namespace

int menuCommand(const SessionOptions& options) {
    return guarded([&] {
        Session session(options, Session::Access::readOnly);
        auto menu = session.menu();
        std::cout << (options.json ? jsonReport(session.host(), &menu) : menuText(menu));
        return 0;
    });
}

int runCommand(const std::string& item, const SessionOptions& options) {
    Interrupts interrupts;  // before any other thread starts
    if (options.verbose)
        InternetSetDiagnostics(printDiagnostic);
    return guarded([&] {
        ChartSource charts(options.charts, options.lastfm);  // its threads start masked too
        Session session(options, Session::Access::readWrite);
        player::Host& host = session.host();
        TaskDisplay display(stderr);
        host.taskRunner().setObserver([&](const player::TaskEvent& e) { display.onEvent(e); });
        interrupts.setRunner(&host.taskRunner());
        interrupts.enter(Interrupts::Phase::running);
        bool ran = session.run(item);
        interrupts.setRunner(nullptr);
        host.taskRunner().setObserver(nullptr);
        if (!ran)
            throw UsageError("\"" + item + "\" is not in the menu for this selection");
        // An interrupted run writes nothing: what it made may be incomplete.
        interrupts.enter(Interrupts::Phase::writing);
        WriteOutcome outcome;
        if (!interrupts.interrupted())
            outcome = session.writeBack();
        for (const auto& name : outcome.written)
            std::fprintf(stderr, "wrote playlist %s\n", printable(name).c_str());
        for (const auto& conflict : outcome.conflicts)
            std::fprintf(stderr, "chartloom: %s\n", printable(conflict).c_str());
        std::cout << (options.json ? jsonReport(host, nullptr) : summaryText(host));
        if (interrupts.interrupted())
            return 130;
        return host.popups().messages().empty() && outcome.conflicts.empty() ? 0 : 1;
    });
}

int scanCommand(const std::string& folder) {
    return guarded([&] {
        bool terminal = ::isatty(fileno(stderr)) != 0;
        auto tracks = scanMusicFolder(folder, [&](size_t done, size_t total) {
            if (terminal) {
                std::fprintf(stderr, "\r\033[Kscanning %s %zu/%zu",
                             progressBar(done, total).c_str(), done, total);
            } else if (done == total || done % 100 == 0) {
                std::fprintf(stderr, "scanning %zu/%zu\n", done, total);
            }
        });
        if (terminal)
            std::fprintf(stderr, "\r\033[K");
        std::fprintf(stderr, "%zu tracks\n", tracks.size());
        std::cout << libraryToJson(tracks) << "\n";
        return 0;
    });
}

}  // namespace chartloom::cli
