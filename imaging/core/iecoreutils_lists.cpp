#include "iecoreutils_lists.h"

#include <algorithm>
#include <cstring>

#include "SysUtils.h"

namespace {

constexpr int64_t kMaxBlock = 0x7FFFFFFF;

std::unique_ptr<uint8_t[]> NewBlock(int64_t Bytes) {
    if (Bytes > kMaxBlock) throw EOutOfMemory(L"Out of memory");
    return Bytes > 0 ? std::unique_ptr<uint8_t[]>(new uint8_t[static_cast<size_t>(Bytes)]()) : nullptr;
}

}   // namespace

// ---- TIEList --------------------------------------------------------------------------------

TIEList::TIEList() { TIEList::Clear(); }

void TIEList::Reallocate(int32_t NewCapacity, int32_t Keep) {
    std::unique_ptr<uint8_t[]> block = NewBlock(static_cast<int64_t>(NewCapacity) * FItemSize);
    if (Keep > 0 && FData) std::memcpy(block.get(), FData.get(), static_cast<size_t>(Keep) * FItemSize);
    FData = std::move(block);
    FCapacity = NewCapacity;
}

void TIEList::SetCount(int32_t NewCount) {
    if (NewCount < 0) NewCount = 0;
    if (FCapacity < NewCount) {
        const int64_t grown = std::max<int64_t>(2 * static_cast<int64_t>(FCapacity), NewCount);
        Reallocate(static_cast<int32_t>(std::min<int64_t>(grown, kMaxBlock)), std::min(FCount, NewCount));
    }
    FCount = NewCount;
    FFlags |= 1;
}

int32_t TIEList::Add(const void* Item) {
    const int32_t index = FCount;
    if (index == INT32_MAX) throw EOutOfMemory(L"Out of memory");
    SetCount(FCount + 1);
    if (FItemSize > 0) std::memcpy(GetItemPtr(index), Item, static_cast<size_t>(FItemSize));
    FFlags |= 1;
    return index;
}

void TIEList::Delete(int32_t Index) {
    if (Index < 0 || Index >= FCount) return;
    std::unique_ptr<uint8_t[]> block = NewBlock(static_cast<int64_t>(FCount - 1) * FItemSize);
    const size_t size = static_cast<size_t>(FItemSize);
    if (block) {
        std::memcpy(block.get(), FData.get(), static_cast<size_t>(Index) * size);
        std::memcpy(block.get() + Index * size, FData.get() + (Index + 1) * size,
                    static_cast<size_t>(FCount - Index - 1) * size);
    }
    FData = std::move(block);
    --FCount;
    FCapacity = FCount;
    FFlags |= 1;
}

void TIEList::Clear() {
    FData.reset();
    FCapacity = 0;
    FCount = 0;
    FFlags = 0;
}

void TIEList::Assign(const TIEList* Source) {
    if (!Source || Source == this) return;
    std::unique_ptr<uint8_t[]> block = NewBlock(static_cast<int64_t>(Source->FCount) * Source->FItemSize);
    if (block) std::memcpy(block.get(), Source->FData.get(), static_cast<size_t>(Source->FCount) * Source->FItemSize);
    FData = std::move(block);
    FCount = Source->FCount;
    FItemSize = Source->FItemSize;
    FFlags = Source->FFlags;
    FCapacity = FCount;
}

// ---- Descendants ----------------------------------------------------------------------------

void TIEDoubleList::Clear() {
    TIEList::Clear();
    FItemSize = sizeof(double);
    std::fill(std::begin(Doubles), std::end(Doubles), 0.0);
    std::fill(std::begin(Integers), std::end(Integers), 0);
}

void TIEDoubleList::Assign(const TIEList* Source) {
    TIEList::Assign(Source);
    if (const auto* s = dynamic_cast<const TIEDoubleList*>(Source)) {
        std::copy(std::begin(s->Doubles), std::end(s->Doubles), Doubles);
        std::copy(std::begin(s->Integers), std::end(s->Integers), Integers);
    }
}

double TIEDoubleList::GetItem(int32_t Index) const {
    double v;
    std::memcpy(&v, GetItemPtr(Index), sizeof v);
    return v;
}

void TIEIntegerList::Clear() {
    TIEList::Clear();
    FItemSize = sizeof(int32_t);
    std::fill(std::begin(Integers), std::end(Integers), 0);
}

void TIEIntegerList::Assign(const TIEList* Source) {
    TIEList::Assign(Source);
    if (const auto* s = dynamic_cast<const TIEIntegerList*>(Source))
        std::copy(std::begin(s->Integers), std::end(s->Integers), Integers);
}

int32_t TIEIntegerList::GetItem(int32_t Index) const {
    int32_t v;
    std::memcpy(&v, GetItemPtr(Index), sizeof v);
    return v;
}

// ---- TIEByteArray ---------------------------------------------------------------------------

TIEByteArray::TIEByteArray(int32_t BlockSize) : FBlockSize(BlockSize < 0 ? 0 : BlockSize) {
    Reallocate(FBlockSize, 0);
}

void TIEByteArray::Reallocate(int64_t NewCapacity, int32_t Keep) {
    std::unique_ptr<uint8_t[]> block = NewBlock(NewCapacity);
    if (Keep > 0) std::memcpy(block.get(), FData.get(), static_cast<size_t>(Keep));
    FData = std::move(block);
    FCapacity = static_cast<int32_t>(NewCapacity);
}

void TIEByteArray::SetSize(int32_t NewSize) {
    if (NewSize < 0) NewSize = 0;
    if (NewSize > FSize) {
        if (NewSize > FCapacity) Reallocate(static_cast<int64_t>(NewSize) + FBlockSize, FSize);
    } else if (NewSize < static_cast<int64_t>(FCapacity) - FBlockSize) {
        Reallocate(static_cast<int64_t>(NewSize) + FBlockSize, NewSize);
    }
    FSize = NewSize;
}

void TIEByteArray::AddByte(uint8_t B) {
    if (FSize == INT32_MAX) throw EOutOfMemory(L"Out of memory");
    SetSize(FSize + 1);
    FData[FSize - 1] = B;
}

int32_t TIEByteArray::AppendFromStream(TStream& Stream, int32_t Count) {
    const int64_t left = Stream.GetSize() - Stream.GetPosition();
    const int64_t room = kMaxBlock - FSize;
    const int32_t want = static_cast<int32_t>(std::max<int64_t>(0, std::min({static_cast<int64_t>(Count), left, room})));
    const int32_t oldSize = FSize;
    SetSize(oldSize + want);
    const int32_t got = want > 0 ? std::max(0, Stream.Read(FData.get() + oldSize, want)) : 0;
    SetSize(oldSize + got);
    return got;
}

void IECopyList(const TList& Source, TList& Dest) {
    if (&Source == &Dest) return;
    Dest.Clear();
    for (int32_t i = 0; i < Source.GetCount(); ++i) Dest.Add(Source.GetItems(i));
}
