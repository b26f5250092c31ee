// imgtool: converts and describes image files through the library's I/O component, for tests,
// benchmarks and checking a file by hand.
//
//   imgtool convert IN OUT [--index N]   loads image N (default 0) of IN, found by its content,
//                                         and saves it as OUT, chosen by OUT's extension, with
//                                         the default parameters of a new component
//   imgtool info IN                       one line per image of IN: width, height, pixel format,
//                                         bits per sample, samples per pixel, image count, type
//
// Exit status 0 on success; otherwise 1 (2 for a wrong command line) with the reason on one line
// of the error output.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "iebitmap.h"
#include "picturaio.h"
#include "iecoreutils_startup.h"
#include "iestartup.h"
#include "iecoreutils_streams.h"

namespace {

const char* const kUsage = "usage: imgtool convert IN OUT [--index N] | imgtool info IN";

const char* PixelFormatName(TIEPixelFormat Format) {
    static const char* const names[] = {"ieNoFormat", "ie1g",  "ie8p",    "ie8g",     "ie16g",  "ie24RGB",
                                        "ie32f",      "ieCMYK", "ieRGB48", "ieCIELab", "ie32RGB", "ieVirtual"};
    return Format < sizeof(names) / sizeof(names[0]) ? names[Format] : "unknown";
}

// The first extension of the type's row (upper case), or its number.
std::string FileTypeName(TIOFileType FileType) {
    const std::wstring ext = IEFileFormatGetExtension(FileType, 0);
    return ext.empty() ? std::to_string(FileType) : WideToUtf8(ext);
}

struct Failure {
    std::string Reason;
};

// Loads image Index of FileName into Io; a failed load raises a Failure naming the file.
void Load(TPicturaIO& Io, const std::wstring& FileName, int32_t Index) {
    if (!FileExists(FileName)) throw Failure{"cannot open " + WideToUtf8(FileName) + ": no such file"};
    Io.Params->SetImageIndex(Index);
    Io.Aborting = false;
    Io.Params->FileType = ioUnknown;
    Io.LoadFromFile(FileName);
    if (Io.Aborting || Io.Params->FileType == ioUnknown || Io.GetIEBitmap()->IsEmpty())
        throw Failure{"cannot load " + WideToUtf8(FileName) + (Io.Params->FileType == ioUnknown ? ": format not recognised" : ": the image does not decode")};
}

int Convert(const std::wstring& In, const std::wstring& Out, int32_t Index) {
    TPicturaIO input(nullptr);
    Load(input, In, Index);
    // A new component saves the image with its default parameters.
    TPicturaIO output(nullptr);
    output.SetAttachedIEBitmap(input.GetIEBitmap());
    output.Aborting = false;
    output.SaveToFile(Out);
    if (output.Aborting) {
        ieplatform::DeleteFileByName(Out);   // no half-written file is left behind
        throw Failure{"cannot save " + WideToUtf8(Out) + ": no writer for this extension, or the writer failed"};
    }
    return 0;
}

int Info(const std::wstring& In) {
    TPicturaIO io(nullptr);
    int32_t count = 1;
    for (int32_t index = 0; index < count; ++index) {
        Load(io, In, index);
        const TIOParamsVals& p = *io.Params;
        if (index == 0) count = p.ImageCount > 1 ? p.ImageCount : 1;
        TIEBitmap& b = *io.GetIEBitmap();
        std::printf("%d %d %s %d %d %d %s\n", b.GetWidth(), b.GetHeight(), PixelFormatName(b.GetPixelFormat()),
                    p.BitsPerSample, p.SamplesPerPixel, count, FileTypeName(p.FileType).c_str());
    }
    return 0;
}

int Run(const std::vector<std::wstring>& Args) {
    if (Args.size() == 2 && Args[0] == L"info") return Info(Args[1]);
    if (Args.size() == 3 && Args[0] == L"convert") return Convert(Args[1], Args[2], 0);
    if (Args.size() == 5 && Args[0] == L"convert" && Args[3] == L"--index") {
        const std::string text = WideToUtf8(Args[4]);
        char* end = nullptr;
        const long index = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || index < 0 || index > 0x7FFFFFFF) throw Failure{"bad image index " + text};
        return Convert(Args[1], Args[2], static_cast<int32_t>(index));
    }
    std::fprintf(stderr, "%s\n", kUsage);
    return 2;
}

int Main(const std::vector<std::wstring>& Args) {
    IEStaticInitialize();
    int status = 1;
    try {
        status = Run(Args);
    } catch (const Failure& f) {
        std::fprintf(stderr, "imgtool: %s\n", f.Reason.c_str());
    } catch (const Exception& e) {
        std::fprintf(stderr, "imgtool: %s\n", WideToUtf8(e.Message()).c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "imgtool: %s\n", e.what());
    }
    IEStaticFinalize();
    std::fflush(stdout);
    return status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    return Main(args);
}
#else
int main(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8ToWide(argv[i]));
    return Main(args);
}
#endif
