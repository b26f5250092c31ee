#include "UnitInit.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <vector>

namespace {

struct TUnit {
    std::wstring Name;
    int32_t Rank;
    TUnitProc Startup, Shutdown;
    bool Started = false, Finished = false;
};

struct TRegistry {
    std::recursive_mutex Lock;
    std::vector<TUnit> Units;            // in registration order
    std::vector<size_t> StartOrder;      // indexes of started units, in start order
};

// Built on first use, so that registrations from any static constructor find it.
TRegistry& Registry() {
    static TRegistry registry;
    return registry;
}

}  // namespace

bool RegisterUnit(const std::wstring& Name, int32_t Rank, TUnitProc Startup, TUnitProc Shutdown) {
    TRegistry& r = Registry();
    std::lock_guard<std::recursive_mutex> lock(r.Lock);
    for (const TUnit& u : r.Units)
        if (u.Name == Name) return false;
    r.Units.push_back(TUnit{Name, Rank, std::move(Startup), std::move(Shutdown)});
    return true;
}

void InitializeUnits() {
    TRegistry& r = Registry();
    std::lock_guard<std::recursive_mutex> lock(r.Lock);
    std::vector<size_t> order;
    for (size_t i = 0; i < r.Units.size(); ++i)
        if (!r.Units[i].Started && !r.Units[i].Finished) order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return r.Units[a].Rank < r.Units[b].Rank; });
    for (size_t i : order) {
        // Copied: a start-up may register further units, which moves the table.
        TUnitProc startup = r.Units[i].Startup;
        if (startup) startup();
        r.Units[i].Started = true;
        r.StartOrder.push_back(i);
    }
}

void FinalizeUnits() {
    TRegistry& r = Registry();
    std::lock_guard<std::recursive_mutex> lock(r.Lock);
    std::exception_ptr first;
    while (!r.StartOrder.empty()) {
        const size_t i = r.StartOrder.back();
        r.StartOrder.pop_back();
        r.Units[i].Started = false;
        r.Units[i].Finished = true;
        TUnitProc shutdown = r.Units[i].Shutdown;
        try {
            if (shutdown) shutdown();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

void Halt(int32_t ExitCode) {
    try {
        FinalizeUnits();
    } catch (...) {
    }
    std::exit(ExitCode);
}

std::wstring StartedUnits() {
    TRegistry& r = Registry();
    std::lock_guard<std::recursive_mutex> lock(r.Lock);
    std::wstring names;
    for (size_t i : r.StartOrder) names += (names.empty() ? L"" : L",") + r.Units[i].Name;
    return names;
}
