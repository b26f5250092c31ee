// A component whose LoadFromFile runs a test's own body, and a way to run it on one of the
// component's background threads: what a load does inside a worker, without a file.
#pragma once

#include <functional>
#include <string>

#include "picturaio.h"
#include "picturaio_thread.h"

class TScriptedIO : public TPicturaIO {
public:
    TScriptedIO() : TPicturaIO(nullptr) {}
    // The body is this class's own: its threads end before it goes.
    ~TScriptedIO() override { WaitThreads(false); }
    std::function<void()> Body;
    void LoadFromFile(const std::wstring&) override {
        if (Body) Body();
    }
};

// Runs IO's LoadFromFile on a new background thread of IO (registered, then started).
inline void RunInIOThread(TPicturaIO& IO) {
    (new TIEIOThread(&IO, &TPicturaIO::LoadFromFile, std::wstring()))->Start();
}
