// Growable containers of plain data: a list of fixed-size items with its three descendants
// (Doubles, Integers, records of a size fixed at creation), a growable byte array that grows and
// shrinks in blocks, and the copy of a pointer list. Platform-neutral.
#pragma once

#include <cstdint>
#include <memory>

#include "Classes.h"

// A list of items of ItemSize bytes in one owned block. Sizes that would leave the 32-bit range
// raise EOutOfMemory; negative counts count as 0.
class TIEList {
public:
    TIEList();   // no data, then TIEList::Clear
    virtual ~TIEList() = default;
    TIEList(const TIEList&) = delete;
    TIEList& operator=(const TIEList&) = delete;

    // Grows the block to max(2 x capacity, NewCount) items when needed (it never shrinks here),
    // keeping the items; then count = NewCount and the changed flag is set.
    virtual void SetCount(int32_t NewCount);
    // Removes one item: the block is re-allocated to exactly count - 1 items. An Index outside
    // 0..count - 1 does nothing.
    virtual void Delete(int32_t Index);
    // Capacity and count 0, no data, flags 0 (descendants also set their item size).
    virtual void Clear();
    // Takes count, item size and flags from Source and a copy of its items in a block of exactly
    // that many items; a null Source does nothing.
    virtual void Assign(const TIEList* Source);

    // Appends a copy of the item at Item (ItemSize bytes) and returns its index.
    int32_t Add(const void* Item);
    // The address of item Index (not checked).
    uint8_t* GetItemPtr(int32_t Index) const { return FData.get() + static_cast<size_t>(Index) * FItemSize; }

    int32_t GetCapacity() const { return FCapacity; }
    int32_t GetCount() const { return FCount; }
    int32_t GetItemSize() const { return FItemSize; }
    uint32_t GetFlags() const { return FFlags; }
    void SetFlags(uint32_t Flags) { FFlags = Flags; }
    bool GetChanged() const { return (FFlags & 1) != 0; }

protected:
    int32_t FItemSize = 0;

private:
    void Reallocate(int32_t NewCapacity, int32_t Keep);
    int32_t FCapacity = 0;
    int32_t FCount = 0;
    std::unique_ptr<uint8_t[]> FData;
    uint32_t FFlags = 0;
};

// Doubles; the extra fields belong to the users (for example range bounds and positions).
class TIEDoubleList : public TIEList {
public:
    TIEDoubleList() { Clear(); }
    void Clear() override;                       // also item size 8 and the extra fields 0
    void Assign(const TIEList* Source) override; // also the extra fields of a TIEDoubleList
    double GetItem(int32_t Index) const;
    int32_t AddItem(double Value) { return Add(&Value); }
    double Doubles[3] = {};
    int32_t Integers[2] = {};
};

// 32-bit signed integers, with four extra fields of the users.
class TIEIntegerList : public TIEList {
public:
    TIEIntegerList() { Clear(); }
    void Clear() override;
    void Assign(const TIEList* Source) override;
    int32_t GetItem(int32_t Index) const;
    int32_t AddItem(int32_t Value) { return Add(&Value); }
    int32_t Integers[4] = {};
};

// Records of RecordSize bytes.
class TIERecordList : public TIEList {
public:
    explicit TIERecordList(int32_t RecordSize) { FItemSize = RecordSize < 0 ? 0 : RecordSize; }
    uint8_t* GetItem(int32_t Index) const { return GetItemPtr(Index); }
};

// A byte buffer that grows and shrinks in steps of its block size: after any change the spare room
// is at most twice the block size.
class TIEByteArray {
public:
    explicit TIEByteArray(int32_t BlockSize);   // capacity BlockSize at once (negative counts as 0)
    TIEByteArray(const TIEByteArray&) = delete;
    TIEByteArray& operator=(const TIEByteArray&) = delete;

    void SetSize(int32_t NewSize);
    void AddByte(uint8_t B);
    // Appends up to Count bytes read from Stream (never more than the stream has left) and
    // returns the bytes read.
    int32_t AppendFromStream(TStream& Stream, int32_t Count);

    uint8_t* GetData() const { return FData.get(); }
    int32_t GetSize() const { return FSize; }
    int32_t GetCapacity() const { return FCapacity; }
    int32_t GetBlockSize() const { return FBlockSize; }

private:
    void Reallocate(int64_t NewCapacity, int32_t Keep);
    int32_t FSize = 0;
    int32_t FCapacity = 0;
    int32_t FBlockSize;
    std::unique_ptr<uint8_t[]> FData;
};

// Dest's entries become Source's (the pointed-to objects are shared, not copied).
void IECopyList(const TList& Source, TList& Dest);
