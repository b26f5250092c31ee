// Scope guards over GDI (Windows only): a memory device context compatible with the screen, an
// object selected into a device context, and an owned GDI object.
#pragma once
#include "WinApi.h"

// A memory device context compatible with the screen, released with the object.
class TMemoryDC {
public:
    TMemoryDC() {
        HDC screen = GetDC(nullptr);
        FDC = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
    }
    ~TMemoryDC() {
        if (FDC) DeleteDC(FDC);
    }
    TMemoryDC(const TMemoryDC&) = delete;
    TMemoryDC& operator=(const TMemoryDC&) = delete;
    HDC Handle() const { return FDC; }

private:
    HDC FDC;
};

// Selects a GDI object into a device context and puts the previous one back.
class TSelect {
public:
    TSelect(HDC ADC, HGDIOBJ AObject) : FDC(ADC), FOld(SelectObject(ADC, AObject)) {}
    ~TSelect() { SelectObject(FDC, FOld); }
    TSelect(const TSelect&) = delete;
    TSelect& operator=(const TSelect&) = delete;

private:
    HDC FDC;
    HGDIOBJ FOld;
};

// Owns one GDI object.
template <class T>
class TGdiObject {
public:
    explicit TGdiObject(T AHandle) : FHandle(AHandle) {}
    ~TGdiObject() {
        if (FHandle) DeleteObject(FHandle);
    }
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;
    T Get() const { return FHandle; }

private:
    T FHandle;
};
