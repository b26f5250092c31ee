// DICOM tag lists filled with the elements that pydicom reads from the files its package ships
// (explicit and implicit VR, little- and big-endian): every element, its value representation and
// its raw value survive the list and a copy of it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "iecoreutils_dicomtags.h"
#include "support/ToolSkip.h"

namespace {

const char kPython[] = "/usr/bin/python3";
const char kFiles[] = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";

// One line per top-level element: group, element (hexadecimal), VR ("-" for implicit files) and
// the raw value bytes in hexadecimal ("-" for none).
const char kDump[] = R"(
import sys, pydicom
ds = pydicom.dcmread(sys.argv[1], force=True)
for tag in list(ds.file_meta.keys()) + list(ds.keys()):
    raw = (ds.file_meta if tag in ds.file_meta else ds).get_item(tag)
    value = getattr(raw, "value", None)
    if not isinstance(value, (bytes, type(None))):
        continue
    vr = getattr(raw, "VR", None) or "-"
    print("%04x %04x %s %s" % (tag >> 16, tag & 0xFFFF, vr, value.hex() if value else "-"))
)";

struct TElement {
    uint16_t Group, Element;
    std::string VR, Value;
};

bool PydicomPresent() {
    return access(kPython, X_OK) == 0 &&
           std::system("/usr/bin/python3 -c 'import pydicom' >/dev/null 2>&1") == 0 &&
           access((std::string(kFiles) + "CT_small.dcm").c_str(), R_OK) == 0;
}

std::vector<TElement> Dump(const std::string& File) {
    char dir[] = "/tmp/iedcm_XXXXXX";
    const std::string script = std::string(mkdtemp(dir)) + "/dump.py";
    std::ofstream(script) << kDump;
    std::vector<TElement> out;
    FILE* pipe = popen(("timeout 60 " + std::string(kPython) + " " + script + " " + File).c_str(), "r");
    std::string text;
    char buf[65536];
    size_t n;
    while (pipe && (n = fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
    if (pipe) pclose(pipe);
    std::remove(script.c_str());
    rmdir(dir);
    std::istringstream lines(text);
    std::string group, element, vr, hex;
    while (lines >> group >> element >> vr >> hex) {
        TElement e{static_cast<uint16_t>(std::stoul(group, nullptr, 16)),
                   static_cast<uint16_t>(std::stoul(element, nullptr, 16)), vr == "-" ? "" : vr, ""};
        if (hex != "-")
            for (size_t i = 0; i + 1 < hex.size(); i += 2)
                e.Value += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
        out.push_back(e);
    }
    return out;
}

}   // namespace

TEST(IEDICOMTagsPeers, ElementsOfPydicomsFilesSurviveTheListAndItsCopy) {
    if (!PydicomPresent()) KW_SKIP_UNLESS_CI() << "pydicom and its files are not installed (scripts/setup.sh installs them)";
    for (const char* name : {"CT_small.dcm", "MR_small_implicit.dcm", "MR_small_bigendian.dcm", "ExplVR_BigEnd.dcm"}) {
        const std::vector<TElement> elements = Dump(std::string(kFiles) + name);
        ASSERT_GT(elements.size(), 10u) << name;
        TIEDICOMTags tags;
        for (const TElement& e : elements) {
            // The reader's blocks: the value and a terminating zero.
            std::unique_ptr<uint8_t[]> data;
            if (!e.Value.empty()) {
                data.reset(new uint8_t[e.Value.size() + 1]);
                std::memcpy(data.get(), e.Value.data(), e.Value.size());
                data[e.Value.size()] = 0;
            }
            tags.AddTag(e.Group, e.Element, e.VR, data, static_cast<int32_t>(e.Value.size()));
        }
        TIEDICOMTags copy;
        copy.Assign(&tags);
        tags.Clear();
        ASSERT_EQ(copy.GetCount(), static_cast<int32_t>(elements.size())) << name;
        for (size_t i = 0; i < elements.size(); ++i) {
            const TIEDICOMTag& t = copy.GetTag(static_cast<int32_t>(i));
            const TElement& e = elements[i];
            EXPECT_EQ(t.Group, e.Group);
            EXPECT_EQ(t.Element, e.Element);
            EXPECT_EQ(std::string(t.VR, t.VR[0] ? 2 : 0), e.VR) << name << " " << e.Group << "," << e.Element;
            ASSERT_EQ(t.DataLength, static_cast<int32_t>(e.Value.size()));
            if (t.DataLength > 0) {
                EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.Data.get()), e.Value.size()), e.Value);
                EXPECT_EQ(t.Data[e.Value.size()], 0);
            }
        }
        if (std::string(name) == "CT_small.dcm") {
            bool found = false;
            for (int32_t i = 0; i < copy.GetCount(); ++i) {
                const TIEDICOMTag& t = copy.GetTag(i);
                if (t.Group == 0x0010 && t.Element == 0x0010) {
                    found = true;
                    // Padded to an even length with a blank, as DICOM stores texts.
                    EXPECT_STREQ(reinterpret_cast<const char*>(t.Data.get()), "CompressedSamples^CT1 ");
                }
            }
            EXPECT_TRUE(found);
        }
    }
}
