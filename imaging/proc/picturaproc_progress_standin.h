// TODO(merge): the image parameter set's header supplies TIOProgressRecord and TIEProgressEvent;
// this stand-in carries the fields the processing routines use until it lands, in its order.
#pragma once

#include <cstdint>
#include <functional>

class TObject;

using TIEProgressEvent = std::function<void(TObject* Sender, int32_t Per)>;

struct TIOProgressRecord {
    TIEProgressEvent OnProgress;
    TObject* Sender = nullptr;
    int32_t Counter = 0;
    int32_t Total = 0;
    double PercentPerUnit = 0;
    double PercentPerUnit2 = 0;
    bool* Aborting = nullptr;
};
