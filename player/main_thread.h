// Calls that the host allows only on its main thread check in here.
#pragma once

#include <string>
#include <thread>

#include "player/violations.h"

namespace player {

class MainThread {
public:
    explicit MainThread(Violations& v) : id_(std::this_thread::get_id()), violations_(v) {}
    bool isCurrent() const { return std::this_thread::get_id() == id_; }
    void check(const char* operation) const {
        if (!isCurrent())
            violations_.report(std::string(operation) + " called off the main thread");
    }

private:
    std::thread::id id_;
    Violations& violations_;
};

}  // namespace player
