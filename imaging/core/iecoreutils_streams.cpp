#include "iecoreutils_streams.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <random>

#include "ByteOrder.h"
#include "CheckedMath.h"
#include "iezlib.h"

std::wstring IETempFolder;

namespace {

// The Win32 values that IECreateFileW takes (the POSIX twin reads the same values).
constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kFileShareRead = 1;
constexpr uint32_t kFileShareWrite = 2;
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kOpenExisting = 3;
constexpr uint32_t kFileAttributeNormal = 0x80;

constexpr int32_t kStoreChunk = 1048576;
constexpr int32_t kCopyChunk = 0x2FFFF;
constexpr int32_t kStringChunk = 65536;

}  // namespace

// ---------------------------------------------------------------------------------------------
// TIEBufferedReadStream
// ---------------------------------------------------------------------------------------------

TIEBufferedReadStream::TIEBufferedReadStream(TStream* Stream, int32_t BufferSize, bool RelativePosition)
    : FStream(Stream) {
    FPosition = Stream->GetPosition();
    FBaseOffset = RelativePosition ? FPosition : 0;
    FSize = Stream->GetSize();
    SetBufferSize(BufferSize);
}

void TIEBufferedReadStream::SetBufferSize(int32_t Size) {
    // A buffer of no bytes could never be refilled.
    FBuffer.assign((size_t)std::max<int32_t>(Size, 1), 0);
    Refill();
}

void TIEBufferedReadStream::Refill() {
    FBufferIndex = 0;
    FBufferLen = 0;
    if (FPosition >= FSize) return;
    FStream->SetPosition(FPosition);
    const int32_t want = (int32_t)std::min<int64_t>((int64_t)FBuffer.size(), FSize - FPosition);
    FBufferLen = std::max<int32_t>(FStream->Read(FBuffer.data(), want), 0);
}

int32_t TIEBufferedReadStream::Read(void* Buffer, int32_t Count) {
    const int64_t left = FSize - FPosition;
    if (Count > left) Count = (int32_t)std::max<int64_t>(left, 0);
    if (Count < 1) return 0;
    auto* out = static_cast<uint8_t*>(Buffer);
    if (Count == 1) {
        if (FBufferIndex >= FBufferLen) {
            Refill();
            if (FBufferLen == 0) return 0;
        }
        *out = FBuffer[(size_t)FBufferIndex++];
        ++FPosition;
        return 1;
    }
    int32_t done = 0;
    for (;;) {
        const int32_t n = std::min(Count - done, FBufferLen - FBufferIndex);
        if (n > 0) {
            std::memcpy(out + done, FBuffer.data() + FBufferIndex, (size_t)n);
            FBufferIndex += n;
            FPosition += n;
            done += n;
        }
        if (done == Count) return done;
        Refill();
        if (FBufferLen == 0) return done;   // the underlying stream gave less than it had
    }
}

int32_t TIEBufferedReadStream::Write(const void*, int32_t) {
    throw Exception(L"TIEBufferedReadStream cannot write!");
}

int64_t TIEBufferedReadStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    int64_t target = FPosition;
    switch (Origin) {
    case soBeginning: target = FBaseOffset + Offset; break;
    case soCurrent: target = FPosition + Offset; break;
    case soEnd: target = FSize + Offset; break;
    }
    if (target < 0) target = 0;
    if (target >= FSize) target = FSize;
    const int64_t index = FBufferIndex + target - FPosition;
    if (index >= 0 && index < FBufferLen) {
        FBufferIndex = (int32_t)index;
        FPosition = target;
    } else {
        FPosition = target;
        Refill();
    }
    return FPosition - FBaseOffset;
}

// ---------------------------------------------------------------------------------------------
// Files by wide name
// ---------------------------------------------------------------------------------------------

void* IEFileCreateW(const std::wstring& FileName) {
    return IECreateFileW(FileName, kGenericRead | kGenericWrite, 0, nullptr, kCreateAlways, kFileAttributeNormal,
                         nullptr);
}

void* IEFileOpenW(const std::wstring& FileName, uint8_t Mode) {
    static const uint32_t access[3] = {kGenericRead, kGenericWrite, kGenericRead | kGenericWrite};
    static const uint32_t share[5] = {0, 0, kFileShareRead, kFileShareWrite, kFileShareRead | kFileShareWrite};
    if ((Mode & 3) > 2 || (Mode & 0xF0) > 0x40) return IEInvalidHandle;
    return IECreateFileW(FileName, access[Mode & 3], share[(Mode & 0xF0) >> 4], nullptr, kOpenExisting,
                         kFileAttributeNormal, nullptr);
}

TIEWideFileStream::TIEWideFileStream(const std::wstring& FileName, uint16_t Mode) : THandleStream(IEInvalidHandle) {
    const bool create = Mode == 0xFFFF;
    FHandle = create ? IEFileCreateW(FileName) : IEFileOpenW(FileName, (uint8_t)Mode);
    if (FHandle != IEInvalidHandle) return;
    const std::wstring text = Format(create ? SFCreateErrorEx : SFOpenErrorEx, ieplatform::FullFileName(FileName),
                                     SysErrorMessage(ieplatform::LastError()));
    if (create) throw EFCreateError(text);
    throw EFOpenError(text);
}

// ---------------------------------------------------------------------------------------------
// TNulStream
// ---------------------------------------------------------------------------------------------

void TNulStream::Advance(int64_t Target) {
    FPosition = Target;
    if (FPosition >= FHighWater) FHighWater = FPosition;
}

int32_t TNulStream::Read(void*, int32_t Count) {
    if (Count > 0) Advance(FPosition + Count);
    return Count;
}

int32_t TNulStream::Write(const void*, int32_t Count) {
    if (Count > 0) Advance(FPosition + Count);
    return Count;
}

int64_t TNulStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    switch (Origin) {
    case soBeginning: Advance(Offset); break;
    case soCurrent: Advance(FPosition + Offset); break;
    case soEnd:
        if (Offset == 0) FPosition = FHighWater;   // the size query leaves the mark alone
        else Advance(FHighWater + Offset);
        break;
    }
    return FPosition;
}

// ---------------------------------------------------------------------------------------------
// TIEFileBuffer
// ---------------------------------------------------------------------------------------------

TIEFileBuffer::~TIEFileBuffer() {
    try {
        Clear();
    } catch (...) {
        // A view that cannot be written back is lost with the store.
    }
}

void TIEFileBuffer::Clear() {
    if (!FStore) return;
    UnmapAll();
    FStore.reset();
    ieplatform::DeleteFileByName(FFileName);
}

bool TIEFileBuffer::AllocateFile(const std::wstring& Prefix, bool UseFile, int64_t Size) {
    Clear();
    IETempFileName(Prefix, IETempFolder.empty() ? IESystemTempFolder() : IETempFolder, FFileName);
    try {
        if (UseFile) FStore = std::make_unique<TIETemporaryFileStream>(FFileName);
        else FStore = std::make_unique<TMemoryStream>();
        FStore->SetSize(Size);
    } catch (...) {
        FStore.reset();
        return false;
    }
    return true;
}

void* TIEFileBuffer::MapView(TIEDataAccess Access, int64_t Position, int64_t Size) {
    size_t bytes;
    if (Size < 0 || !Checked::Cast(Size, &bytes)) throw EOutOfMemory(L"Out of memory");
    TView view{Position, Size, std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes ? bytes : 1]()), Access};
    if (!view.Buffer) throw EOutOfMemory(L"Out of memory");
    if (FStore && (Access & iedRead)) {
        FStore->SetPosition(Position);
        for (int64_t done = 0; done < Size;) {
            const int32_t n = FStore->Read(view.Buffer.get() + done, (int32_t)std::min<int64_t>(Size - done, kStoreChunk));
            if (n <= 0) break;
            done += n;
        }
    }
    FViews.push_back(std::move(view));
    return FViews.back().Buffer.get();
}

void TIEFileBuffer::UnmapView(void* Buffer) {
    const auto it = std::find_if(FViews.begin(), FViews.end(), [&](const TView& v) { return v.Buffer.get() == Buffer; });
    if (it == FViews.end()) return;
    TView view = std::move(*it);
    FViews.erase(it);
    if (FStore && (view.Access & iedWrite)) {
        FStore->SetPosition(view.Position);
        for (int64_t done = 0; done < view.Size;) {
            const int32_t n = (int32_t)std::min<int64_t>(view.Size - done, kStoreChunk);
            FStore->WriteBuffer(view.Buffer.get() + done, n);
            done += n;
        }
    }
}

void TIEFileBuffer::UnmapAll() {
    if (!FStore) return;
    while (!FViews.empty()) UnmapView(FViews.back().Buffer.get());
}

void TIEFileBuffer::CopyTo(TIEFileBuffer* Dest, int64_t Position, int64_t Size) {
    if (!FStore || !Dest->FStore) return;
    UnmapAll();
    Dest->UnmapAll();
    std::vector<uint8_t> chunk((size_t)std::min<int64_t>(std::max<int64_t>(Size, 1), kStoreChunk));
    FStore->SetPosition(Position);
    Dest->FStore->SetPosition(Position);
    for (int64_t done = 0; done < Size;) {
        const int32_t n = (int32_t)std::min<int64_t>(Size - done, kStoreChunk);
        FStore->ReadBuffer(chunk.data(), n);
        Dest->FStore->WriteBuffer(chunk.data(), n);
        done += n;
    }
}

// ---------------------------------------------------------------------------------------------
// Free functions
// ---------------------------------------------------------------------------------------------

void IESaveStringToStream(TStream* Stream, const std::string& S) {
    int32_t len;
    if (!Checked::Cast(S.size(), &len)) throw EWriteError(SWriteError);
    uint8_t head[4];
    ByteOrder::PutLE32(head, (uint32_t)len);
    Stream->WriteBuffer(head, 4);
    Stream->WriteBuffer(S.data(), len);
}

void IELoadStringFromStream(TStream* Stream, std::string& S) {
    uint8_t head[4];
    Stream->ReadBuffer(head, 4);
    const int32_t len = (int32_t)ByteOrder::GetLE32(head);
    if (len < 0) throw EReadError(SReadError);
    // The length comes from the file: the string grows with the bytes that really arrive.
    std::string s;
    while ((int32_t)s.size() < len) {
        const size_t at = s.size();
        const int32_t n = std::min<int32_t>(len - (int32_t)at, kStringChunk);
        s.resize(at + (size_t)n);
        Stream->ReadBuffer(&s[at], n);
    }
    S = std::move(s);
}

void IEWriteLineCRLF(TStream* Stream, const std::string& Line) {
    int32_t len;
    if (!Checked::Cast(Line.size(), &len)) throw EWriteError(SWriteError);
    Stream->WriteBuffer(Line.data(), len);
    Stream->WriteBuffer("\r\n", 2);
}

int64_t IECopyStream(TStream* Dest, TStream* Source, int64_t Count) {
    if (Count == 0) {
        Source->SetPosition(0);
        Count = Source->GetSize();
    }
    // The zlib streams cannot tell their size.
    if (!dynamic_cast<TCustomZStream*>(Source)) Count = std::min(Count, std::max<int64_t>(Source->GetSize() - Source->GetPosition(), 0));
    if (Count <= 0) return 0;
    std::vector<uint8_t> buffer((size_t)std::min<int64_t>(Count, kCopyChunk));
    for (int64_t done = 0; done < Count;) {
        const int32_t n = (int32_t)std::min<int64_t>(Count - done, kCopyChunk);
        Source->ReadBuffer(buffer.data(), n);
        Dest->WriteBuffer(buffer.data(), n);
        done += n;
    }
    return Count;
}

void IETempFileName(const std::wstring& Prefix, const std::wstring& Folder, std::wstring& FileName) {
    static std::mutex lock;
    static std::mt19937 random((uint32_t)std::random_device{}() ^
                               (uint32_t)std::chrono::steady_clock::now().time_since_epoch().count());
    do {
        uint32_t n;
        {
            std::lock_guard<std::mutex> guard(lock);
            n = std::uniform_int_distribution<uint32_t>(0, 2147483646u)(random);
        }
        FileName = Folder + Prefix + L"-" + IntToHex(n, 8) + L".tmp";
    } while (IEFileExists(FileName));
}

void IEGetTempFileName(std::wstring& FileName) {
    IETempFileName(L"ietemp", IETempFolder.empty() ? IESystemTempFolder() : IETempFolder, FileName);
}

bool IEFileExists(const std::wstring& FileName) {
    return IEFileExistsW(FileName);
}
