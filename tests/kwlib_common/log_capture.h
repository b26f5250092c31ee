// Catches what the in-house units log: the global logger is started with its worker stopped, so
// that the entries stay in its queue for the test to read; it is shut down again at the end.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "KWLogger.h"

class TLogCapture {
public:
    struct TEntry {
        uint8_t Level;
        std::wstring Sender;
        std::wstring Text;
    };
    TLogCapture() {
        KWLogger_Initialize();
        FLogger = KWGetGlobalLogger();
        FLogger->StopThread();
    }
    ~TLogCapture() {
        Clear();
        KWLogger_Finalize();
    }
    TLogCapture(const TLogCapture&) = delete;
    TLogCapture& operator=(const TLogCapture&) = delete;

    std::vector<TEntry> Entries() {
        std::vector<TEntry> out;
        std::lock_guard<std::mutex> lock(FLogger->Lock);
        for (const auto& e : FLogger->Queue) out.push_back({e->Level, e->Sender, e->Text});
        return out;
    }
    // The texts of the entries, in order.
    std::vector<std::wstring> Texts() {
        std::vector<std::wstring> out;
        for (const TEntry& e : Entries()) out.push_back(e.Text);
        return out;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(FLogger->Lock);
        FLogger->Queue.clear();
    }

private:
    TKWLogger* FLogger = nullptr;
};
