// Helpers of the reading-side tests: scratch folders, whole-file reads and writes, a fake drive for
// the volume layer, and a small ZIP writer that lays out archives byte by byte (so that tests can
// make exactly the records they need, damaged ones included).
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ZFVolumes.h"
#include "support/TestSupport.h"

namespace ziptest {

using testsupport::ReadFileBytes;
using testsupport::RemoveTree;
using testsupport::TScratchDir;
using testsupport::WriteFileBytes;
std::wstring DataFile(const char* Name);   // tests/data/zip/<name>
std::string Bytes(size_t Count, uint32_t Seed);  // incompressible bytes

// A drive whose type, free space and prompts the test decides.
class TFakeDrive : public TZFVolumeServices {
public:
    bool IsRemovable(const std::wstring&) override {
        ++RemovableAsked;
        return Removable;
    }
    int64_t FreeSpace(const std::wstring&) override { return Free; }
    bool SetDriveLabel(const std::wstring& Path, const std::wstring& Label) override {
        Labels.push_back(Label);
        return LabelWorks;
    }
    void FlushFile(TStream*) override { ++Flushes; }
    bool Confirm(const std::wstring& Text) override {
        Prompts.push_back(Text);
        if (OnConfirm) OnConfirm(Text);
        if (Answers.empty()) return false;
        const bool a = Answers.front();
        Answers.pop_front();
        return a;
    }

    bool Removable = false;
    int64_t Free = 1LL << 40;
    bool LabelWorks = true;
    int Flushes = 0;
    int RemovableAsked = 0;
    std::vector<std::wstring> Labels;
    std::vector<std::wstring> Prompts;
    std::deque<bool> Answers;   // answers to the prompts in order; Cancel once they run out
    std::function<void(const std::wstring&)> OnConfirm;
};

// The archiver's shared state on the fake drive.
struct TCore : TZFArchiveCore {
    TCore() : TZFArchiveCore(nullptr) { Services = &Drive; }
    TFakeDrive Drive;
};

// The engine code of the EZFException that f raises, or -1 when it raises none.
int32_t NativeErrorOf(const std::function<void()>& f);

// ---- A byte-level ZIP writer ---------------------------------------------------------------------------

void Put16(std::string& s, uint32_t v);
void Put32(std::string& s, uint32_t v);
void Put64(std::string& s, uint64_t v);
uint16_t Get16(const std::string& s, size_t at);
uint32_t Get32(const std::string& s, size_t at);
void Set16(std::string& s, size_t at, uint32_t v);
void Set32(std::string& s, size_t at, uint32_t v);
// Raw deflate (no zlib header) of the data at the level given; RawDeflate at level 6.
std::string RawDeflateAt(const std::string& data, int level);
std::string RawDeflate(const std::string& data);
uint32_t Crc32(const std::string& data);

struct TEntrySpec {
    std::string Name;               // stored bytes
    std::string Data;               // uncompressed
    uint16_t Method = 0;            // 0 stored, 8 deflated (done here); others: Data is stored as is
    uint16_t Flags = 0;
    uint32_t ExternalAttr = 0x20;
    uint16_t Time = 0x6000;         // 12:00:00
    uint16_t Date = 0x5A21;         // 2025-01-01
    std::string CentralExtra;       // extra fields of the central header
    std::string LocalExtra;         // extra fields of the local header
    bool Descriptor = false;        // flag bit 3: sizes and CRC in a data descriptor behind the data
    bool ForceCrc = false;          // store Crc instead of the data's CRC
    uint32_t Crc = 0;
    bool ForceSizes = false;        // store these sizes instead of the real ones
    uint32_t Packed = 0, Unpacked = 0;
    std::string Comment;
    uint16_t VersionNeeded = 20;
};

struct TArchiveLayout {
    std::string Bytes;
    std::vector<size_t> LocalOffsets;
    size_t CentralOffset = 0;
    size_t EndOffset = 0;
};

// Local headers and data, the central directory, and the end record with the comment.
TArchiveLayout BuildZip(const std::vector<TEntrySpec>& Entries, const std::string& Comment = "");

}  // namespace ziptest
