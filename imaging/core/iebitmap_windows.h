// The rows of a file-located bitmap seen through windows of many rows: a window is a buffer for a
// run of consecutive rows of the temporary file, its rows read from the file when first handed out
// (with those after them, a read-ahead), and the rows handed out for writing written back in runs
// when the window goes. A few recently used windows are kept, so that a pass over the rows costs a
// few large reads and writes per window instead of a mapping per row (mapping fresh pages costs a
// page fault each, which is what made file-located rows slow). Windows holding a locked row stay
// until the lock ends, whatever the cache's size. Nothing else reads or writes the file while the
// windows hold rows, so the buffers are the rows' one current copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "iecoreutils_streams.h"   // TIEDataAccess

class TIEBitmapFileStore;

class TIEFileRowWindows {
public:
    // Bytes a window holds at most (a window always holds at least one row), the windows without
    // locks kept after use, and the bytes read at once from a row not yet read. Together they
    // bound the memory a pass takes.
    static constexpr size_t WindowBytes = (size_t)4 << 20;
    static constexpr size_t CachedWindows = 4;
    static constexpr size_t ReadAheadBytes = (size_t)256 << 10;

    TIEFileRowWindows() = default;
    ~TIEFileRowWindows() { Discard(); }
    TIEFileRowWindows(TIEFileRowWindows&& AOther) noexcept { *this = std::move(AOther); }
    TIEFileRowWindows& operator=(TIEFileRowWindows&& AOther) noexcept;
    TIEFileRowWindows(const TIEFileRowWindows&) = delete;
    TIEFileRowWindows& operator=(const TIEFileRowWindows&) = delete;

    // The first byte of stored row Row of Height rows of RowLen bytes in Store. With iedRead in
    // Access the row holds the file's bytes; with iedWrite it is written back when its window
    // goes (rows handed out only for writing are not read: their user writes them whole). The
    // pointer stays valid at least until the next Row or Lock call. Raises EFileMappingError for
    // a row outside the image, EOutOfMemory, or what reading or writing the file raises.
    uint8_t* Row(TIEBitmapFileStore& Store, int32_t Row, int32_t RowLen, int32_t Height, TIEDataAccess Access);
    // Like Row, and the row's window stays until Unlock(Row), Flush or Discard. A row may be
    // locked more than once; each lock has its own unlock.
    uint8_t* Lock(TIEBitmapFileStore& Store, int32_t Row, int32_t RowLen, int32_t Height, TIEDataAccess Access);
    // Ends the latest lock of Row; a row without a lock is ignored. Raises nothing.
    void Unlock(int32_t Row);
    // Writes back what is to be written, then drops every window and every lock (also when
    // writing fails, which raises).
    void Flush();
    // Drops every window and lock without writing anything back (the file is going away).
    void Discard() noexcept;

    size_t WindowCount() const { return FWindows.size(); }

private:
    struct TWindow {
        int32_t First = 0;    // the first stored row it holds
        int32_t Count = 0;    // rows it holds
        int32_t Locks = 0;
        uint64_t Id = 0;      // unique while the cache lives: what a lock names
        uint64_t Used = 0;    // the cache's clock at its last use
        size_t Capacity = 0;  // bytes of Rows
        std::unique_ptr<uint8_t[]> Rows;
        std::vector<uint8_t> State;   // per row: kRead, kWriteBack
        bool Holds(int32_t Row) const { return Row >= First && Row - First < Count; }
    };
    struct TLock {
        int32_t Row;
        uint64_t Window;
    };
    TWindow& Find(int32_t Row);
    uint8_t* HandOut(TWindow& Window, int32_t Row, TIEDataAccess Access);
    void WriteBack(TWindow& Window);
    // Writes back and drops the least recently used windows without locks until at most Max of
    // them are left.
    void Evict(size_t Max);
    void Drop(size_t Index);

    TIEBitmapFileStore* FStore = nullptr;
    int32_t FRowLen = 0;
    int32_t FHeight = 0;
    std::vector<TWindow> FWindows;
    std::vector<TLock> FLocks;
    uint64_t FClock = 0;
    size_t FLast = 0;   // the window of the last call: the next row is most often there
};
