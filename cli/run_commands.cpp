#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "cli/commands.h"
#include "cli/report.h"
#include "cli/scan_display.h"
#include "cli/task_display.h"
#include "cli/usage_error.h"
#include "stores/folder_scan.h"
#include "stores/library_json.h"
#include "stores/store_error.h"

namespace chartloom::cli {
using namespace stores;
namespace {

std::atomic<player::TaskRunnerImpl*> g_runner{nullptr};
volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int) {
    g_interrupted = 1;
    if (player::TaskRunnerImpl* runner = g_runner.load())
        runner->abort();
}

// Ctrl-C raises the running task's abort signal for the scope.
class InterruptToAbort {
public:
    explicit InterruptToAbort(player::TaskRunnerImpl& runner) {
        g_interrupted = 0;
        g_runner.store(&runner);
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptToAbort() {
        sigaction(SIGINT, &previous_, nullptr);
        g_runner.store(nullptr);
    }
    bool interrupted() const { return g_interrupted != 0; }

private:
    struct sigaction previous_ {};
};

template <class F>
int guarded(F&& body) {
    try {
        return body();
    } catch (const UsageError& e) {
        std::fprintf(stderr, "chartloom: %s\n", e.what());
        return 2;
    } catch (const player::PluginError& e) {
        std::fprintf(stderr, "chartloom: %s\n", e.what());
        return 2;
    } catch (const StoreError& e) {
        std::fprintf(stderr, "chartloom: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "chartloom: %s\n", e.what());
        return 1;
    }
}

}  // namespace

int menuCommand(const SessionOptions& options) {
    return guarded([&] {
        Session session(options);
        auto menu = session.menu();
        std::cout << (options.json ? jsonReport(session.host(), &menu) : menuText(menu));
        return 0;
    });
}

int runCommand(const std::string& item, const SessionOptions& options) {
    return guarded([&] {
        Session session(options);
        player::Host& host = session.host();
        TaskDisplay display(stderr);
        host.taskRunner().setObserver([&](const player::TaskEvent& e) { display.onEvent(e); });
        bool interrupted;
        {
            InterruptToAbort interrupt(host.taskRunner());
            if (!session.run(item)) {
                throw UsageError("\"" + item + "\" is not in the menu for this selection");
            }
            interrupted = interrupt.interrupted();
        }
        host.taskRunner().setObserver(nullptr);
        if (!interrupted) {
            for (const auto& name : session.writeBack()) {
                std::fprintf(stderr, "wrote playlist %s\n", name.c_str());
            }
        }
        std::cout << (options.json ? jsonReport(host, nullptr) : summaryText(host));
        if (interrupted)
            return 130;
        return host.popups().messages().empty() ? 0 : 1;
    });
}

int scanCommand(const std::string& folder, const std::optional<std::string>& index) {
    return guarded([&] {
        ScanCounts counts;
        {
            ScanDisplay display(stderr);
            if (index) {
                counts = refreshIndexFile(*index, folder, display.observer(), false);
            } else {
                // Written as it is made, so a big library never sits whole in memory.
                std::string out;
                LibraryJsonWriter writer(out);
                counts = scanFolder(
                    folder,
                    [&](const player::TrackRecord& r) {
                        writer.add(r);
                        if (out.size() > (1u << 20)) {
                            std::cout << out;
                            out.clear();
                        }
                    },
                    display.observer());
                writer.finish();
                std::cout << out << "\n" << std::flush;
            }
        }
        std::fprintf(stderr, "%s\n", summaryLine(counts).c_str());
        return 0;
    });
}

}  // namespace chartloom::cli
