// Documents built with the PDF object model, checked by tools no one here wrote: qpdf --check
// accepts them, and Ghostscript renders the image where the content stream puts it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "iecoreutils_pdf.h"
#include "support/ToolSkip.h"

namespace {

bool HaveTool(const char* Name) {
    const std::string command = std::string("command -v ") + Name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// Runs a shell command (bounded by timeout) and returns its exit status and standard output.
int RunTool(const std::string& Command, std::string* Output = nullptr) {
    FILE* pipe = popen(("timeout 60 " + Command).c_str(), "r");
    if (pipe == nullptr) return -1;
    char buf[4096];
    size_t n;
    std::string out;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    const int status = pclose(pipe);
    if (Output) *Output = out;
    return status;
}

struct TTempDir {
    std::string Path;
    TTempDir() {
        char tmpl[] = "/tmp/iepdf_XXXXXX";
        Path = mkdtemp(tmpl);
    }
    ~TTempDir() { (void)!std::system(("rm -rf '" + Path + "'").c_str()); }
};

// A one-page document of PageWidth x PageHeight points showing a 2 x 1 image (red, then blue)
// over the whole page, its data run-length encoded and kept in a temporary file until written.
std::string BuildDocument(double PageWidth, double PageHeight) {
    TIEPDFObjectList objects, pages;
    std::vector<std::unique_ptr<TIEPDFObject>> owned;
    owned.emplace_back(IEPDFAddCatalog(objects));

    auto* resources = new TIEPDFDictionaryObject;
    resources->Keep = true;
    auto* procset = new TIEPDFArrayObject;
    procset->Add(new TIEPDFNameObject("PDF"));
    procset->Add(new TIEPDFNameObject("ImageC"));
    resources->AddItem("ProcSet", procset);
    auto* xobjects = new TIEPDFDictionaryObject;
    resources->AddItem("XObject", xobjects);
    IEPDFAddObject(objects, resources);
    owned.emplace_back(resources);

    const uint8_t rgb[6] = {255, 0, 0, 0, 0, 255};
    std::vector<uint8_t> rle(2 * sizeof rgb + 1);
    rle.resize(static_cast<size_t>(IERunLengthEncode(rgb, sizeof rgb, rle.data())));
    auto* image = new TIEPDFStreamObject(rle.data(), static_cast<int32_t>(rle.size()));
    TIEPDFDictionaryObject* idict = image->GetDictionary();
    idict->InsertItem(0, "Type", new TIEPDFNameObject("XObject"));
    idict->InsertItem(1, "Subtype", new TIEPDFNameObject("Image"));
    idict->AddItem("Width", new TIEPDFNumericObject(2));
    idict->AddItem("Height", new TIEPDFNumericObject(1));
    auto* filter = new TIEPDFArrayObject;
    filter->Add(new TIEPDFNameObject("RunLengthDecode"));
    idict->AddItem("Filter", filter);
    idict->AddItem("ColorSpace", new TIEPDFNameObject("DeviceRGB"));
    idict->AddItem("BitsPerComponent", new TIEPDFNumericObject(8));
    IEPDFAddObject(objects, image);
    owned.emplace_back(image);
    image->MoveToTempFile();
    xobjects->AddItem("lm1", new TIEPDFRefObject(image->ObjectNumber, 0));

    auto number = [](double v) {
        TIEPDFNumericObject n(v);
        TMemoryStream ms;
        n.WriteTo(&ms);
        return std::string(static_cast<const char*>(ms.GetMemory()), static_cast<size_t>(ms.GetSize()));
    };
    const std::string text = "q\n" + number(PageWidth) + " 0 0 " + number(PageHeight) + " 0 0 cm\n/lm1 Do\nQ";
    auto* contents = new TIEPDFStreamObject(text.data(), static_cast<int32_t>(text.size()));
    IEPDFAddObject(objects, contents);
    owned.emplace_back(contents);

    auto* media = new TIEPDFArrayObject;
    for (double v : {0.0, 0.0, PageWidth, PageHeight}) media->Add(new TIEPDFNumericObject(v));
    owned.emplace_back(IEPDFAddPage(objects, pages, resources, media, contents->ObjectNumber));
    owned.emplace_back(IEPDFAddPages(objects, pages));

    auto* info = new TIEPDFDictionaryObject;
    info->AddItem("Title", new TIEPDFStringObject("(a) \\ b\r\n"));
    info->AddItem("Tiny", new TIEPDFNumericObject(1.5e-7));   // no exponent form in PDF
    info->AddItem("Huge", new TIEPDFNumericObject(2.5e17));   // within the 64-bit integers that readers take
    IEPDFAddObject(objects, info);
    owned.emplace_back(info);

    TMemoryStream doc;
    IEPDFWriteHeader(&doc);
    IEPDFWriteObjects(&doc, objects);
    IEPDFWriteTrailer(&doc, objects, info);
    return std::string(static_cast<const char*>(doc.GetMemory()), static_cast<size_t>(doc.GetSize()));
}

}   // namespace

TEST(IEPDFPeers, QpdfAcceptsAndGhostscriptRenders) {
    if (!HaveTool("qpdf") || !HaveTool("gs")) KW_SKIP_UNLESS_CI() << "qpdf or gs is not installed (scripts/setup.sh installs them)";
    TTempDir dir;
    const std::string pdf = dir.Path + "/page.pdf";
    {
        std::ofstream f(pdf, std::ios::binary);
        f << BuildDocument(8, 4);
    }
    std::string out;
    EXPECT_EQ(RunTool("qpdf --check '" + pdf + "' 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("No syntax or stream encoding errors found"), std::string::npos) << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;

    // The title and the small and large numbers read back as written.
    EXPECT_EQ(RunTool("qpdf --show-object=7 '" + pdf + "' 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("/Tiny 0.00000015"), std::string::npos) << out;
    EXPECT_NE(out.find("/Huge 250000000000000000"), std::string::npos) << out;

    const std::string png = dir.Path + "/page.png";
    EXPECT_EQ(RunTool("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r72 -o '" + png + "' '" + pdf + "' 2>&1", &out), 0)
        << out;
    std::ifstream pf(png, std::ios::binary);
    std::string head(24, '\0');
    pf.read(&head[0], 24);
    ASSERT_EQ(head.substr(1, 3), "PNG");
    // IHDR: width 8, height 4 (big-endian at bytes 16 and 20).
    EXPECT_EQ(static_cast<uint8_t>(head[19]), 8);
    EXPECT_EQ(static_cast<uint8_t>(head[23]), 4);

    // The same page as raw pixels: red on the left half, blue on the right.
    std::string ppm;
    ASSERT_EQ(RunTool("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -r72 -o - '" + pdf + "'", &ppm), 0);
    const size_t body = ppm.size() - 8 * 4 * 3;
    ASSERT_EQ(ppm.compare(0, 2, "P6"), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            const size_t p = body + (static_cast<size_t>(y) * 8 + x) * 3;
            const bool left = x < 4;
            EXPECT_EQ(static_cast<uint8_t>(ppm[p]), left ? 255 : 0) << x << "," << y;
            EXPECT_EQ(static_cast<uint8_t>(ppm[p + 2]), left ? 0 : 255) << x << "," << y;
        }
}
