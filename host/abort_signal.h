// The abort button of a running task's dialog.
#pragma once

class AbortSignal {
public:
    // [any thread]
    virtual bool isAborted() const = 0;

protected:
    ~AbortSignal() = default;
};
