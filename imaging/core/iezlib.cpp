#include "iezlib.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "CheckedMath.h"

const wchar_t* const SIEZInvalidOperation = L"Invalid ZStream operation!";

namespace {

// zlib's texts, indexed by 2 - code.
const wchar_t* const kZErrors[] = {L"need dictionary", L"stream end",   L"",
                                   L"file error",      L"stream error", L"data error",
                                   L"insufficient memory", L"buffer error", L"incompatible version"};

// The four compression levels a caller chooses from: stored, fastest, zlib's default, best.
const int32_t kZLevels[] = {Z_NO_COMPRESSION, Z_BEST_SPEED, Z_DEFAULT_COMPRESSION, Z_BEST_COMPRESSION};

constexpr int32_t kSkipStep = 8192;

}  // namespace

std::wstring IEZErrorText(int32_t Code) {
    const int32_t index = 2 - Code;
    if (index < 0 || index >= (int32_t)(sizeof(kZErrors) / sizeof(kZErrors[0]))) return L"";
    return kZErrors[index];
}

int32_t IEZCompressCheck(int32_t Code) {
    if (Code < 0) throw EZCompressionError(IEZErrorText(Code));
    return Code;
}

int32_t IEZDecompressCheck(int32_t Code) {
    if (Code < 0) throw EZDecompressionError(IEZErrorText(Code));
    return Code;
}

voidpf IEZAlloc(voidpf, uInt Items, uInt Size) {
    size_t bytes;
    if (!Checked::Mul<size_t>(Items, Size, &bytes)) return Z_NULL;
    return std::malloc(bytes ? bytes : 1);
}

void IEZFree(voidpf, voidpf Block) {
    std::free(Block);
}

int32_t IEZDeflateInit(z_stream& Strm, int32_t Level) {
    Strm.zalloc = IEZAlloc;
    Strm.zfree = IEZFree;
    Strm.opaque = Z_NULL;
    return deflateInit_(&Strm, Level, ZLIB_VERSION, (int)sizeof(z_stream));
}

int32_t IEZInflateInit(z_stream& Strm) {
    Strm.zalloc = IEZAlloc;
    Strm.zfree = IEZFree;
    Strm.opaque = Z_NULL;
    return inflateInit_(&Strm, ZLIB_VERSION, (int)sizeof(z_stream));
}

// ---------------------------------------------------------------------------------------------
// TCustomZStream
// ---------------------------------------------------------------------------------------------

TCustomZStream::TCustomZStream(TStream* Stream)
    : FStream(Stream), FStreamPos(Stream->GetPosition()), FZRec(), FBuffer(kBufferSize) {}

void TCustomZStream::DoProgress() {
    if (OnProgress) OnProgress(this);
}

void TCustomZStream::RestorePosition() {
    if (FStream->GetPosition() != FStreamPos) FStream->SetPosition(FStreamPos);
}

void TCustomZStream::RememberPosition() {
    FStreamPos = FStream->GetPosition();
}

// ---------------------------------------------------------------------------------------------
// TZCompressionStream
// ---------------------------------------------------------------------------------------------

TZCompressionStream::TZCompressionStream(TStream* Dest, uint8_t Level, int32_t) : TCustomZStream(Dest) {
    if (Level >= sizeof(kZLevels) / sizeof(kZLevels[0])) throw EZCompressionError(IEZErrorText(Z_STREAM_ERROR));
    FZRec.next_out = FBuffer.data();
    FZRec.avail_out = kBufferSize;
    IEZCompressCheck(IEZDeflateInit(FZRec, kZLevels[Level]));
}

TZCompressionStream::~TZCompressionStream() {
    if (FFinished) return;
    try {
        Finish();
    } catch (...) {
        // Nothing may leave a destructor; Finish has ended deflate all the same.
    }
}

void TZCompressionStream::FlushBuffer(int32_t Count) {
    if (Count > 0) FStream->WriteBuffer(FBuffer.data(), Count);
    FZRec.next_out = FBuffer.data();
    FZRec.avail_out = kBufferSize;
}

int32_t TZCompressionStream::Read(void*, int32_t) {
    throw EZCompressionError(SIEZInvalidOperation);
}

int32_t TZCompressionStream::Write(const void* Buffer, int32_t Count) {
    if (FFinished) throw EZCompressionError(SIEZInvalidOperation);
    if (Count <= 0) return 0;
    FZRec.next_in = static_cast<Bytef*>(const_cast<void*>(Buffer));
    FZRec.avail_in = (uInt)Count;
    RestorePosition();
    while (FZRec.avail_in > 0) {
        const uInt before = FZRec.avail_in;
        IEZCompressCheck(deflate(&FZRec, Z_NO_FLUSH));
        FTotalIn += before - FZRec.avail_in;
        if (FZRec.avail_out == 0) {
            FlushBuffer(kBufferSize);
            RememberPosition();
            DoProgress();
        }
    }
    return Count;
}

int64_t TZCompressionStream::Seek(int64_t, TSeekOrigin) {
    return FTotalIn;
}

void TZCompressionStream::Finish() {
    if (FFinished) return;
    FFinished = true;
    struct EndGuard {
        z_stream& Z;
        ~EndGuard() { deflateEnd(&Z); }
    } guard{FZRec};
    FZRec.next_in = Z_NULL;
    FZRec.avail_in = 0;
    RestorePosition();
    while (IEZCompressCheck(deflate(&FZRec, Z_FINISH)) != Z_STREAM_END) FlushBuffer(kBufferSize - (int32_t)FZRec.avail_out);
    FlushBuffer(kBufferSize - (int32_t)FZRec.avail_out);
    RememberPosition();
}

// ---------------------------------------------------------------------------------------------
// TZDecompressionStream
// ---------------------------------------------------------------------------------------------

TZDecompressionStream::TZDecompressionStream(TStream* Source) : TCustomZStream(Source), FStartPos(FStreamPos) {
    FZRec.next_in = FBuffer.data();
    FZRec.avail_in = 0;
    IEZDecompressCheck(IEZInflateInit(FZRec));
}

TZDecompressionStream::~TZDecompressionStream() {
    inflateEnd(&FZRec);
}

int32_t TZDecompressionStream::Read(void* Buffer, int32_t Count) {
    if (Count <= 0) return 0;
    FZRec.next_out = static_cast<Bytef*>(Buffer);
    FZRec.avail_out = (uInt)Count;
    RestorePosition();
    while (FZRec.avail_out > 0 && !FStreamEnd) {
        if (FZRec.avail_in == 0) {
            const int32_t n = FStream->Read(FBuffer.data(), kBufferSize);
            if (n <= 0) break;
            FZRec.next_in = FBuffer.data();
            FZRec.avail_in = (uInt)n;
            RememberPosition();
            DoProgress();
        }
        const int32_t code = IEZDecompressCheck(inflate(&FZRec, Z_NO_FLUSH));
        // A preset dictionary is never supplied: without this the loop would ask again forever.
        if (code == Z_NEED_DICT) throw EZDecompressionError(IEZErrorText(code));
        FStreamEnd = code == Z_STREAM_END;
    }
    if (FStreamEnd && FZRec.avail_in > 0) {
        // The bytes after the compressed data belong to whatever follows it.
        FStream->Seek(-(int64_t)FZRec.avail_in, soCurrent);
        RememberPosition();
        FZRec.avail_in = 0;
    }
    const int32_t done = Count - (int32_t)FZRec.avail_out;
    FTotalOut += done;
    return done;
}

int32_t TZDecompressionStream::Write(const void*, int32_t) {
    throw EZDecompressionError(SIEZInvalidOperation);
}

void TZDecompressionStream::Skip(int64_t Count) {
    uint8_t scratch[kSkipStep];
    while (Count > 0) {
        const int32_t n = Count < kSkipStep ? (int32_t)Count : kSkipStep;
        ReadBuffer(scratch, n);
        Count -= n;
    }
}

int64_t TZDecompressionStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    if (Offset == 0 && Origin == soBeginning) {
        IEZDecompressCheck(inflateReset(&FZRec));
        FZRec.next_in = FBuffer.data();
        FZRec.avail_in = 0;
        FStream->SetPosition(FStartPos);
        FStreamPos = FStartPos;
        FTotalOut = 0;
        FStreamEnd = false;
    } else if (Origin == soCurrent && Offset >= 0) {
        Skip(Offset);
    } else if (Origin == soBeginning && Offset >= FTotalOut) {
        Skip(Offset - FTotalOut);
    } else if (Origin == soEnd && Offset == 0) {
        uint8_t scratch[kSkipStep];
        while (Read(scratch, kSkipStep) > 0) {
        }
    } else {
        throw EZDecompressionError(SIEZInvalidOperation);
    }
    return FTotalOut;
}

// ---------------------------------------------------------------------------------------------
// IEZDecompressBuffer
// ---------------------------------------------------------------------------------------------

void IEZDecompressBuffer(const void* InBuffer, int32_t InSize, void*& OutBuffer, int32_t& OutSize,
                         int32_t OutEstimate, int32_t OutLimit) {
    OutBuffer = nullptr;
    OutSize = 0;
    if (InSize < 0 || OutEstimate < 0 || OutLimit < 0) throw EZDecompressionError(IEZErrorText(Z_STREAM_ERROR));
    const int32_t step = (int32_t)(((int64_t)InSize + 255) & ~(int64_t)255 & 0x7FFFFF00);
    const int32_t limit = OutLimit ? OutLimit : INT32_MAX;
    int32_t size = std::min(OutEstimate ? OutEstimate : step, limit);
    Bytef* block = static_cast<Bytef*>(std::malloc(size > 0 ? (size_t)size : 1));
    if (!block) throw EOutOfMemory(IEZErrorText(Z_MEM_ERROR));
    z_stream z{};
    bool started = false;
    try {
        IEZDecompressCheck(IEZInflateInit(z));
        started = true;
        z.next_in = static_cast<Bytef*>(const_cast<void*>(InBuffer));
        z.avail_in = (uInt)InSize;
        z.next_out = block;
        z.avail_out = (uInt)size;
        for (;;) {
            const int32_t code = IEZDecompressCheck(inflate(&z, Z_NO_FLUSH));
            if (code == Z_STREAM_END) break;
            if (code == Z_NEED_DICT) throw EZDecompressionError(IEZErrorText(code));
            if (z.avail_out > 0) continue;   // more input taken in; room is left
            if (size >= limit) {
                if (OutLimit) break;   // all the caller needs
                throw EZDecompressionError(IEZErrorText(Z_MEM_ERROR));
            }
            int32_t grown;
            if (!Checked::Add(size, std::max({size, step, (int32_t)256}), &grown)) grown = INT32_MAX;
            grown = std::min(grown, limit);
            Bytef* bigger = static_cast<Bytef*>(std::realloc(block, grown > 0 ? (size_t)grown : 1));
            if (!bigger) throw EOutOfMemory(IEZErrorText(Z_MEM_ERROR));
            block = bigger;
            size = grown;
            z.next_out = block + z.total_out;
            z.avail_out = (uInt)(size - (int32_t)z.total_out);
        }
        started = false;
        IEZDecompressCheck(inflateEnd(&z));
    } catch (...) {
        if (started) inflateEnd(&z);
        std::free(block);
        throw;
    }
    const int32_t total = (int32_t)z.total_out;
    if (Bytef* fitted = static_cast<Bytef*>(std::realloc(block, total > 0 ? (size_t)total : 1))) block = fitted;
    OutBuffer = block;
    OutSize = total;
}
