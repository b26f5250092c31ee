// File mapping by region: the argument checks and the alignment sums; the system calls are in
// FileMapping_win.cpp and FileMapping_posix.cpp.
#include "FileMapping.h"

#include <utility>

#include "CheckedMath.h"

bool PlanFileRegion(int64_t AOffset, size_t ALength, int64_t AFileSize, uint32_t AGranularity,
                    TFileRegionPlan& APlan) {
    if (AGranularity == 0 || (AGranularity & (AGranularity - 1)) != 0) return false;
    int64_t length = 0;
    if (ALength == 0 || !Checked::Cast(ALength, &length)) return false;
    if (!Checked::InRange(AOffset, length, AFileSize)) return false;
    const int64_t delta = AOffset & static_cast<int64_t>(AGranularity - 1);
    size_t mapped = 0;
    if (!Checked::Add(static_cast<size_t>(delta), ALength, &mapped)) return false;
    APlan.Start = AOffset - delta;
    APlan.Delta = static_cast<size_t>(delta);
    APlan.Length = mapped;
    return true;
}

// ---------------------------------------------------------------------------------------------
// TFileRegion
// ---------------------------------------------------------------------------------------------

TFileRegion::TFileRegion(uint8_t* ABase, const TFileRegionPlan& APlan, int64_t AOffset, size_t ALength)
    : FBase(ABase), FMappedLength(APlan.Length), FDelta(APlan.Delta), FOffset(AOffset), FLength(ALength) {}

TFileRegion::TFileRegion(TFileRegion&& AOther) noexcept { *this = std::move(AOther); }

TFileRegion& TFileRegion::operator=(TFileRegion&& AOther) noexcept {
    if (this == &AOther) return *this;
    Unmap();
    FBase = std::exchange(AOther.FBase, nullptr);
    FMappedLength = std::exchange(AOther.FMappedLength, 0);
    FDelta = std::exchange(AOther.FDelta, 0);
    FOffset = std::exchange(AOther.FOffset, 0);
    FLength = std::exchange(AOther.FLength, 0);
    return *this;
}

TFileRegion::~TFileRegion() { Unmap(); }

void TFileRegion::Unmap() {
    if (!FBase) return;
    TFileMapping::SystemUnmap(FBase, FMappedLength);
    FBase = nullptr;
    FMappedLength = FDelta = FLength = 0;
    FOffset = 0;
}

// ---------------------------------------------------------------------------------------------
// TFileMapping
// ---------------------------------------------------------------------------------------------

TFileMapping::TFileMapping(const std::wstring& AFileName, bool AWritable) : FWritable(AWritable) {
    OpenFile(AFileName, false, 0);
}

std::unique_ptr<TFileMapping> TFileMapping::Create(const std::wstring& AFileName, int64_t ASize, bool ATemporary) {
    if (ASize < 0) throw EFileMappingError(L"Negative file size " + IntToStr(ASize));
    std::unique_ptr<TFileMapping> mapping(new TFileMapping);
    mapping->FWritable = true;
    mapping->OpenFile(AFileName, true, ASize, ATemporary);
    return mapping;
}

TFileMapping::~TFileMapping() { CloseFile(); }

TFileRegion TFileMapping::Map(int64_t AOffset, size_t ALength) {
    TFileRegionPlan plan;
    if (!PlanFileRegion(AOffset, ALength, FSize, Granularity(), plan))
        throw EFileMappingError(Format(L"Cannot map %d bytes at offset %d of a file of %d bytes",
                                       static_cast<uint64_t>(ALength), AOffset, FSize));
    void* base = SystemMap(plan.Start, plan.Length);
    return TFileRegion(static_cast<uint8_t*>(base), plan, AOffset, ALength);
}

void TFileMapping::CheckRange(int64_t AOffset, size_t ALength) const {
    TFileRegionPlan plan;
    if (!PlanFileRegion(AOffset, ALength, FSize, 1, plan))
        throw EFileMappingError(Format(L"Cannot reach %d bytes at offset %d of a file of %d bytes",
                                       static_cast<uint64_t>(ALength), AOffset, FSize));
}

void TFileMapping::Read(int64_t AOffset, void* AData, size_t ALength) {
    if (ALength == 0) return;
    CheckRange(AOffset, ALength);
    SystemRead(AOffset, AData, ALength);
}

void TFileMapping::Write(int64_t AOffset, const void* AData, size_t ALength) {
    if (ALength == 0) return;
    if (!FWritable) throw EFileMappingError(L"The file is open for reading only");
    CheckRange(AOffset, ALength);
    SystemWrite(AOffset, AData, ALength);
}
