// JPEG metadata against exiftool and ImageMagick, on the files make_jpeg_meta_samples.sh made with
// them: the EXIF, GPS, IPTC, XMP and ICC values read match exiftool's; a load and a save keep
// every block (exiftool -a -G1 lists the same tags); the EXIF orientation applied on load matches
// ImageMagick's -auto-orient for all eight orientations (5 transpose, 7 transverse, as the EXIF
// standard has them); the EXIF thumbnail comes back without the image being decoded.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "iecoreutils_icc.h"
#include "iecoreutils_markers.h"
#include "imaging_codecs/JpegTestUtil.h"
#include "native/CodecToolsUtil.h"
#include "picturaio.h"
#include "picturaview.h"

using namespace jpegtest;

namespace {

const std::filesystem::path kSamples = std::filesystem::path(TEST_BUILD_DIR) / "jpeg-meta-samples";
const std::filesystem::path kOut = std::filesystem::path(TEST_BUILD_DIR) / "jpeg-meta-out";

std::string Tool(const std::string& Command) { return codectools::Shell(kSamples, Command); }

std::vector<uint8_t> Bytes(const std::filesystem::path& File) {
    const std::string s = codectools::Slurp(File);
    return std::vector<uint8_t>(s.begin(), s.end());
}

// A binary PPM (as ImageMagick writes it to its standard output) as blue-first pixels.
TPixels FromPPM(const std::string& B) {
    TPixels p;
    std::istringstream in(B);
    std::string magic;
    int maxval = 0;
    in >> magic >> p.Width >> p.Height >> maxval;
    in.get();
    if (magic != "P6" || !in) return {};
    p.Components = 3;
    const size_t offset = static_cast<size_t>(in.tellg());
    const size_t size = static_cast<size_t>(p.Width) * p.Height * 3;
    if (B.size() < offset + size) return {};
    p.Data.assign(B.begin() + offset, B.begin() + offset + size);
    for (size_t k = 0; k < size; k += 3) std::swap(p.Data[k], p.Data[k + 2]);
    return p;
}

// One IPTC dataset's data as text ("" when absent); several joined with ", ".
std::string IPTC(const TIEIPTCInfoList& L, int32_t Record, int32_t DataSet) {
    std::string out;
    for (int32_t i = 0; i < L.GetCount(); ++i)
        if (L.GetRecordNumber(i) == Record && L.GetDataSet(i) == DataSet)
            out += (out.empty() ? "" : ", ") + std::string(L.GetData(i).begin(), L.GetData(i).end());
    return out;
}

TLoad& LoadFile(TLoad& Load, const std::string& Name) {
    Load.ReadMetadata = true;
    Load.ReadICC = true;
    Load.Run(Bytes(kSamples / Name));
    return Load;
}

class JpegMetaTools : public testing::Test {
protected:
    void SetUp() override {
        if (!IEGIFLZWCompressor) IEInitializePicturaIO();
        IEPicturaViewInitialize();
        ASSERT_TRUE(std::filesystem::exists(kSamples / "meta.jpg")) << "make_jpeg_meta_samples.sh did not run";
        std::filesystem::create_directories(kOut);
    }
};

}  // namespace

TEST_F(JpegMetaTools, ValuesReadMatchExiftool) {
    TLoad load;
    const TIOParamsVals& p = LoadFile(load, "meta.jpg").Params;
    ASSERT_FALSE(load.Aborting);
    ASSERT_TRUE(p.HasEXIFData);
    std::ostringstream ours;
    ours.precision(10);
    ours << p.EXIFMake << "|" << p.EXIFModel << "|" << p.EXIFSoftware << "|" << p.EXIFArtist << "|"
         << p.EXIFImageDescription << "|" << p.EXIFDateTimeOriginal << "|" << p.EXIFExposureTime << "|"
         << p.EXIFFNumber << "|" << p.EXIFISOSpeedRatings[0] << "|" << p.EXIFFocalLength << "|" << p.EXIFOrientation
         << "|" << p.EXIFXResolution << "|" << p.EXIFYResolution << "|" << p.EXIFResolutionUnit << "|"
         << p.EXIFGPSLatitudeRef << "|" << p.EXIFGPSLongitudeRef << "|" << p.EXIFGPSAltitude << "|"
         << p.EXIFGPSAltitudeRef;
    const std::string theirs =
        Tool("exiftool -n -s3 -p \"\\$Make|\\$Model|\\$Software|\\$Artist|\\$ImageDescription|"
             "\\$DateTimeOriginal|\\$ExposureTime|\\$FNumber|\\$ISO|\\$FocalLength|\\$Orientation|"
             "\\$IFD0:XResolution|\\$IFD0:YResolution|\\$IFD0:ResolutionUnit|\\$GPSLatitudeRef|"
             "\\$GPSLongitudeRef|\\$GPSAltitude|\\$GPSAltitudeRef\" meta.jpg");
    EXPECT_EQ(ours.str() + "\n", theirs);
    // The GPS position in degrees, minutes and seconds against exiftool's decimal degrees.
    const double lat = p.EXIFGPSLatitudeDegrees + p.EXIFGPSLatitudeMinutes / 60 + p.EXIFGPSLatitudeSeconds / 3600;
    const double lon = p.EXIFGPSLongitudeDegrees + p.EXIFGPSLongitudeMinutes / 60 + p.EXIFGPSLongitudeSeconds / 3600;
    EXPECT_NEAR(lat, std::stod(Tool("exiftool -n -s3 -GPSLatitude meta.jpg")), 1e-6);
    EXPECT_NEAR(lon, std::stod(Tool("exiftool -n -s3 -GPSLongitude meta.jpg")), 1e-6);
    // The JFIF header's resolution stands; the EXIF one stays as the block has it.
    EXPECT_EQ(p.DpiX, 72);
    EXPECT_EQ(p.DpiY, 72);

    // IPTC (exiftool writes UTF-8, as its coded character set says), XMP and the ICC profile.
    EXPECT_EQ(IPTC(*p.IPTCInfo, 2, 5) + "|" + IPTC(*p.IPTCInfo, 2, 25) + "|" + IPTC(*p.IPTCInfo, 2, 80) + "\n",
              Tool("exiftool -s3 -charset iptc=utf8 -p \"\\$IPTC:ObjectName|\\$IPTC:Keywords|\\$IPTC:By-line\" "
                   "meta.jpg"));
    EXPECT_EQ(p.XMPInfo, Tool("exiftool -b -XMP meta.jpg"));
    ASSERT_TRUE(p.InputICCProfile);
    const std::string icc = Tool("exiftool -b -ICC_Profile meta.jpg");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.InputICCProfile->GetRaw()),
                          static_cast<size_t>(p.InputICCProfile->GetRawSize())),
              icc);
    EXPECT_EQ(icc, codectools::Slurp("/usr/share/color/icc/ghostscript/srgb.icc"));

    // The thumbnail, as ImageMagick decodes the one exiftool extracts.
    ASSERT_TRUE(p.EXIFThumbnail);
    EXPECT_LE(MaxDifference(FromBitmap(*p.EXIFThumbnail),
                            FromPPM(Tool("exiftool -b -ThumbnailImage meta.jpg | /usr/bin/convert - ppm:-"))),
              1);

    // A JFIF header without a resolution: the EXIF one gives the DPI. The EXIF loader keeps a
    // resolution in centimetres per inch (118 x 2.54), which the DPI takes once; a profile of three
    // APP2 chunks is joined whole.
    TLoad cm;
    const TIOParamsVals& q = LoadFile(cm, "meta_cm.jpg").Params;
    ASSERT_FALSE(cm.Aborting);
    EXPECT_EQ(q.DpiX, 299);
    EXPECT_EQ(q.DpiY, 149);
    EXPECT_DOUBLE_EQ(q.EXIFXResolution, 118 * 2.54);
    EXPECT_DOUBLE_EQ(q.EXIFYResolution, 59 * 2.54);
    EXPECT_EQ(q.EXIFResolutionUnit, 3);
    ASSERT_TRUE(q.InputICCProfile);
    EXPECT_EQ(q.InputICCProfile->GetRawSize(), 187484);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(q.InputICCProfile->GetRaw()), 187484),
              codectools::Slurp("/usr/share/color/icc/ghostscript/default_cmyk.icc"));
}

// A load and a save through the component keep every block: exiftool lists the same IPTC, XMP
// and ICC tags with the same values. The EXIF block is written anew from the values read (as a
// save always does while the parameters hold EXIF data): every tag of the original is there with
// its value, but for what the parameter set does not hold (ComponentsConfiguration), the
// thumbnail's directory (the thumbnail is encoded again) and a resolution in centimetres, which
// comes back per inch.
TEST_F(JpegMetaTools, LoadAndSaveKeepsEveryBlock) {
    // "[Group] Tag" -> value, from exiftool -a -G1 -s -n.
    auto Tags = [](const std::filesystem::path& File) {
        std::map<std::string, std::string> tags;
        std::istringstream in(codectools::Shell(kOut, "exiftool -a -G1 -s -n \"" + File.string() + "\""));
        for (std::string line; std::getline(in, line);) {
            const size_t colon = line.find(" : ");
            if (colon == std::string::npos) continue;
            std::string key = line.substr(0, colon);
            key.erase(key.find_last_not_of(' ') + 1);
            tags[key.substr(0, key.find(']') + 1) + " " + key.substr(key.find_last_of(' ') + 1)] = line.substr(colon + 3);
        }
        return tags;
    };
    auto Group = [](const std::string& Key) { return Key.substr(1, Key.find(']') - 1); };
    const std::set<std::string> kKept = {"IPTC", "XMP-x", "XMP-dc", "ICC-header", "ICC_Profile"};
    const std::set<std::string> kExif = {"IFD0", "ExifIFD", "GPS"};
    for (const char* name : {"meta.jpg", "meta_cm.jpg"}) {
        TPicturaIO io(nullptr);
        io.LoadFromFileJPEG(Utf8ToWide((kSamples / name).string()));
        ASSERT_FALSE(io.Aborting) << name;
        const std::filesystem::path saved = kOut / (std::string("saved-") + name);
        io.SaveToFileJPEG(Utf8ToWide(saved.string()));
        ASSERT_FALSE(io.Aborting) << name;
        auto before = Tags(kSamples / name), after = Tags(saved);
        ASSERT_TRUE(before.count("[ICC-header] ProfileFileSignature")) << name;
        const bool cm = before["[IFD0] ResolutionUnit"] == "3";
        if (cm) {
            EXPECT_EQ(after["[IFD0] XResolution"], "299.72");
            EXPECT_EQ(after["[IFD0] YResolution"], "149.86");
            EXPECT_EQ(after["[IFD0] ResolutionUnit"], "2");
            for (const char* tag : {"XResolution", "YResolution", "ResolutionUnit"}) before.erase(std::string("[IFD0] ") + tag);
        }
        EXPECT_EQ(after["[JFIF] XResolution"], cm ? "299" : "72") << name;
        before.erase("[ExifIFD] ComponentsConfiguration");
        if (before.count("[IFD1] ThumbnailImage")) EXPECT_TRUE(after.count("[IFD1] ThumbnailImage")) << name;
        for (const auto& [key, value] : before) {
            const std::string group = Group(key);
            if (kKept.count(group) || kExif.count(group)) {
                EXPECT_EQ(after.count(key) ? after[key] : "(missing)", value) << name << " " << key;
            }
        }
        // Nothing is added to the blocks the save copies.
        for (const auto& [key, value] : after)
            if (kKept.count(Group(key))) EXPECT_TRUE(before.count(key)) << name << " added " << key;
    }
}

// Every orientation applied on load gives ImageMagick's -auto-orient (orientation 5 a transpose,
// 7 a transverse); without the switch the image is as stored and the orientation as the file says.
TEST_F(JpegMetaTools, OrientationAppliedLikeAutoOrient) {
    const TPixels stored = FromPPM(Tool("/usr/bin/convert orient_1.jpg ppm:-"));
    ASSERT_EQ(stored.Width, 48);
    for (int o = 1; o <= 8; ++o) {
        const std::string file = "orient_" + std::to_string(o) + ".jpg";
        for (bool apply : {false, true}) {
            TPicturaIO io(nullptr);
            io.Params->JPEGEnableAdjustOrientation = apply;
            io.LoadFromFileJPEG(Utf8ToWide((kSamples / file).string()));
            ASSERT_FALSE(io.Aborting) << file;
            const TPixels expected = apply ? FromPPM(Tool("/usr/bin/convert " + file + " -auto-orient ppm:-")) : stored;
            EXPECT_LE(MaxDifference(FromBitmap(*io.GetIEBitmap()), expected), 1) << file << " " << apply;
            EXPECT_EQ(io.Params->EXIFOrientation, apply ? 1 : o) << file;
        }
    }
}

// With the EXIF thumbnail switch the thumbnail is the result and the image is not decoded: its
// scan data are junk here, and the load still succeeds with no row read.
TEST_F(JpegMetaTools, ExifThumbnailWithoutDecodingTheImage) {
    std::vector<uint8_t> jpeg = Bytes(kSamples / "meta.jpg");
    size_t sos = 2;
    while (sos + 3 < jpeg.size() && !(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA))
        sos += 2 + ((jpeg[sos + 2] << 8) | jpeg[sos + 3]);
    ASSERT_LT(sos + 3, jpeg.size());
    const size_t data = sos + 2 + ((jpeg[sos + 2] << 8) | jpeg[sos + 3]);
    for (size_t i = data; i + 2 < jpeg.size(); ++i) jpeg[i] = 0xFF;   // no decodable entropy data left
    const TPixels thumb = FromPPM(Tool("/usr/bin/convert thumb.jpg ppm:-"));
    ASSERT_EQ(thumb.Width, 16);

    TLoad load;
    load.ReadMetadata = true;
    load.Params.SetJPEGGetExifThumbnail(true);
    load.Run(jpeg);
    EXPECT_FALSE(load.Aborting);
    EXPECT_EQ(load.Rows, 0);
    EXPECT_LE(MaxDifference(FromBitmap(load.Bitmap), thumb), 1);
    EXPECT_TRUE(load.Params.JPEGGetExifThumbnail);

    // A file without a thumbnail decodes its image.
    TLoad plain;
    plain.ReadMetadata = true;
    plain.Params.SetJPEGGetExifThumbnail(true);
    plain.Run(Bytes(kSamples / "orient_3.jpg"));
    EXPECT_FALSE(plain.Aborting);
    EXPECT_EQ(plain.Rows, 32);
    EXPECT_EQ(plain.Bitmap.GetWidth(), 48);
}
