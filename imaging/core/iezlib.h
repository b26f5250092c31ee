// The image library's zlib streams: a byte stream that deflates everything written to it into
// another stream, one that inflates from another stream as it is read, and the inflation of a
// whole memory buffer. The TIFF codec, the built-in colour profiles and the layer and
// vector-object streams use them.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <vector>

#include "Classes.h"

// Failures of zlib: the message is zlib's text for the return code ("data error", "buffer
// error", ...), or "Invalid ZStream operation!" for an operation the stream does not offer.
KW_DECLARE_EXCEPTION(EZLibError, Exception);
KW_DECLARE_EXCEPTION(EZCompressionError, EZLibError);
KW_DECLARE_EXCEPTION(EZDecompressionError, EZLibError);

extern const wchar_t* const SIEZInvalidOperation;   // Invalid ZStream operation!

// zlib's text for a return code from 2 (need dictionary) down to -6 (incompatible version).
std::wstring IEZErrorText(int32_t Code);

// Return Code when it is 0 or positive; otherwise raise EZCompressionError or
// EZDecompressionError with zlib's text for it.
int32_t IEZCompressCheck(int32_t Code);
int32_t IEZDecompressCheck(int32_t Code);

// deflateInit_ and inflateInit_ with the header's version and the record's real size. Level is a
// zlib level (-1..9). The record's allocation callbacks are IEZAlloc and IEZFree.
int32_t IEZDeflateInit(z_stream& Strm, int32_t Level);
int32_t IEZInflateInit(z_stream& Strm);
voidpf IEZAlloc(voidpf Opaque, uInt Items, uInt Size);   // Items x Size bytes; null when they do not fit
void IEZFree(voidpf Opaque, voidpf Block);

// Base of both stream classes: the wrapped stream (not owned), its position where this object
// last left it, the zlib record and a 64 KB buffer between the two. Every operation first puts
// the wrapped stream back at the remembered position, so others may use it between calls.
class TCustomZStream : public TStream {
public:
    KW_CLASS_NAME(TCustomZStream)
    static constexpr int32_t kBufferSize = 65536;

    explicit TCustomZStream(TStream* Stream);
    TCustomZStream(const TCustomZStream&) = delete;
    TCustomZStream& operator=(const TCustomZStream&) = delete;

    // Fires once per buffer exchanged with the wrapped stream, with this stream as sender.
    TNotifyEvent OnProgress;

protected:
    virtual void DoProgress();
    void RestorePosition();
    void RememberPosition();

    TStream* FStream;
    int64_t FStreamPos;
    z_stream FZRec;
    std::vector<Bytef> FBuffer;
};

// Deflates what is written into Dest. Level indexes the four levels 0 stored, 1 fastest,
// 2 zlib's default, 3 best (other values raise EZCompressionError "stream error").
class TZCompressionStream : public TCustomZStream {
public:
    KW_CLASS_NAME(TZCompressionStream)
    TZCompressionStream(TStream* Dest, uint8_t Level, int32_t Unused = 15);
    // Finishes the data when Finish was not called; a failure there cannot leave a destructor and
    // is dropped, so callers that must know that the data reached Dest call Finish first.
    ~TZCompressionStream() override;

    int32_t Read(void* Buffer, int32_t Count) override;    // raises "Invalid ZStream operation!"
    int32_t Write(const void* Buffer, int32_t Count) override;
    // Moves nothing: returns the number of bytes written into this stream so far.
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    // Writes the end of the compressed data (zlib trailer included) into Dest and ends deflate.
    // Raises a write error or a zlib error; later calls do nothing, and writing afterwards raises
    // "Invalid ZStream operation!".
    void Finish();

private:
    void FlushBuffer(int32_t Count);
    int64_t FTotalIn = 0;
    bool FFinished = false;
};

// Inflates from Source as it is read. At the end of the compressed data the wrapped stream is
// left at the first byte after it; a source that ends early just gives fewer bytes.
class TZDecompressionStream : public TCustomZStream {
public:
    KW_CLASS_NAME(TZDecompressionStream)
    explicit TZDecompressionStream(TStream* Source);
    ~TZDecompressionStream() override;

    int32_t Read(void* Buffer, int32_t Count) override;
    int32_t Write(const void* Buffer, int32_t Count) override;   // raises "Invalid ZStream operation!"
    // 0 from the beginning restarts at the data's start; a forward move (from the current
    // position, or from the beginning to at least the current one) reads and drops bytes; 0 from
    // the end reads to the end. Returns the bytes delivered so far; anything else raises
    // "Invalid ZStream operation!".
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

private:
    void Skip(int64_t Count);
    int64_t FStartPos;
    int64_t FTotalOut = 0;
    bool FStreamEnd = false;
};

// Inflates a complete zlib stream from memory into a new block of std::malloc memory that the
// caller owns (std::free). The block starts at OutEstimate bytes (0: InSize rounded up to a
// multiple of 256) and grows geometrically (by its own size, at least by that rounded size) until
// the data ends; then it is cut to the output size. A caller that knows how much it needs gives
// OutLimit (0: none): the output stops there, the rest of the data left uninflated. Raises
// EZDecompressionError (truncated data: "buffer error"; a stream that needs a preset dictionary:
// "need dictionary"; more than 2 GB of output: "insufficient memory"); on any failure nothing is
// allocated.
void IEZDecompressBuffer(const void* InBuffer, int32_t InSize, void*& OutBuffer, int32_t& OutSize,
                         int32_t OutEstimate, int32_t OutLimit = 0);
