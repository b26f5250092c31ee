// The Windows Imaging Component (WIC) behind two small classes: TIEWICReader opens the system's
// decoders of TIFF, GIF, JPEG, BMP, ICO, PNG and HD Photo on a stream and reads frames into a
// TIEBitmap; TIEWICWriter opens the encoders of the same types (ICO excepted) and writes frames.
// The library uses them for HD Photo (ioHDP) only: IEReadHDPhotoStream and IEWriteHDPhotoStream.
//
// iewic_win.cpp talks to WIC through COM; iewic_posix.cpp is its twin on systems without WIC:
// IEWICAvailable is False there, every Open fails and every read or write sets the abort flag.
//
// Pixel formats: WIC BlackWhite <-> ie1g, 8bppGray <-> ie8g, 16bppGray <-> ie16g, 24bppBGR <->
// ie24RGB, 48bppRGB <-> ieRGB48, 32bppCMYK <-> ieCMYK (bytes inverted: ieCMYK keeps 255 - ink),
// 1bppIndexed -> ie8p (with the source's palette), everything else -> ie24RGB. Without
// NativePixelFormat (and with a parameter set) a read gives ie1g for BlackWhite and ie24RGB
// otherwise. A format the system's converter cannot deliver comes as ie24RGB instead. A write sends ie8p as 8bppIndexed with its palette and the formats without WIC
// counterpart (ie32f, ieCIELab, ie32RGB) as a 24-bit copy; when the encoder answers the format
// asked for with another, the image goes as 24-bit colour, or as 8-bit indexed colour from the
// quantizer to an encoder that takes only that (GIF).
//
// Errors: no WIC, an unknown file type, no decoder or encoder, a missing frame, a size that the
// bitmap cannot hold and a failed pixel copy set the abort flag (or make Open, WriteFrame return
// False); nothing is raised.
#pragma once

#include <cstdint>
#include <memory>

#include "Classes.h"
#include "imaging/core/picturaio_params.h"

class TIEBitmap;

// True when the WIC imaging factory can be created in this process; asked once, then cached.
bool IEWICAvailable();

class TIEWICReader {
public:
    // Initialises OLE and creates the imaging factory (none when WIC is missing).
    TIEWICReader();
    // Releases frame, decoder and factory; uninitialises OLE when the constructor initialised it.
    ~TIEWICReader();
    TIEWICReader(const TIEWICReader&) = delete;
    TIEWICReader& operator=(const TIEWICReader&) = delete;

    // Opens a decoder of FileType (ioTIFF, ioGIF, ioJPEG, ioBMP, ioICO, ioPNG or ioHDP) on the
    // stream from its current position, which counts as the start of the file. The stream is not
    // owned and must outlive the reader. False without WIC, for another type or when no decoder
    // accepts the data.
    bool Open(TStream* Stream, TIOFileType FileType);
    // Reads frame FrameIndex into Bitmap. With IOParams: GetThumbnail reads the frame's embedded
    // thumbnail when it has one; NativePixelFormat chooses the mapping (see above); afterwards the
    // EXIF values (from a TIFF-structured file), BitsPerSample, SamplesPerPixel, Width, Height,
    // OriginalWidth, OriginalHeight (the frame's size) and DpiX, DpiY are set.
    void Read(int32_t FrameIndex, TIEBitmap* Bitmap, bool& Aborting, TIOParamsVals* IOParams);
    // The size of the frame read last (0 before a frame was read).
    int32_t FrameWidth();
    int32_t FrameHeight();
    // The resolution of the frame read last (the library's defaults before).
    double DpiX() const { return FDpiX; }
    double DpiY() const { return FDpiY; }

    struct TState;

private:
    std::unique_ptr<TState> FState;
    double FDpiX;
    double FDpiY;
};

class TIEWICWriter {
public:
    TIEWICWriter();
    // Commits and releases the encoder, then uninitialises OLE as the reader does.
    ~TIEWICWriter();
    TIEWICWriter(const TIEWICWriter&) = delete;
    TIEWICWriter& operator=(const TIEWICWriter&) = delete;

    // Creates the encoder of FileType (not ioICO) and starts it on the stream from its current
    // position. False without WIC, for another type or when the system has no such encoder.
    bool Open(TStream* Stream, TIOFileType FileType);
    // Writes Bitmap as one frame with the options below; with IOParams, DpiX, DpiY, ImageQuality
    // and Lossless come from DpiX, DpiY, HDPImageQuality and HDPLossless. False when no encoder is
    // open or a step of the frame failed.
    bool WriteFrame(TIEBitmap* Bitmap, TIOParamsVals* IOParams);

    // Encoder options. ImageQuality and CompressionQuality are written only when 0 or more; the
    // codec options (Quality, Overlap, Subsampling) only with UseCodecOptions; TIFFCompression is
    // an index 0..6 into WIC's TIFF compression options (1: none).
    double DpiX;
    double DpiY;
    double ImageQuality = -1;
    double CompressionQuality = -1;
    bool Lossless = false;
    bool UseCodecOptions = false;
    uint8_t Quality = 1;
    uint8_t Overlap = 1;
    uint8_t Subsampling = 3;
    uint16_t HorizontalTileSlices = 0;
    uint16_t VerticalTileSlices = 0;
    bool FrequencyOrder = true;
    int32_t TIFFCompression = 1;

    struct TState;

private:
    std::unique_ptr<TState> FState;
};

// Reads frame IOParams.ImageIndex of the HD Photo file at the stream's position into Bitmap
// (Preview changes nothing). Without WIC, or when the data cannot be decoded, *Progress.Aborting
// is set.
void IEReadHDPhotoStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                         bool Preview);
// Writes Bitmap as an HD Photo file at the stream's position, then adds the parameter set's EXIF
// tags to it. Without WIC or an HD Photo encoder, *Progress.Aborting is set and nothing is added.
void IEWriteHDPhotoStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress);
