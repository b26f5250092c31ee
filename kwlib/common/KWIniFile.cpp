#include "KWIniFile.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "KWCommonClass.h"
#include "KWCommonLib_files.h"
#include "KWCommonLib_strings.h"
#include "KWLogger.h"
#include "KWZip.h"

namespace {

const wchar_t* const kCheckSectionNameMethod = L"TKWIniFile.CheckSectionName(const AName: String): String";
const wchar_t* const kUpdateFileMethod =
    L"TKWIniFile.UpdateFile(const ATryNum: Integer; const ARetrySleep: Integer)";

// LoadFromFile: attempts and pause while another process holds the file for writing.
constexpr int32_t kLoadRetries = 5;
constexpr int32_t kLoadRetrySleep = 1000;

wchar_t QuoteChar(uint8_t AMode) { return AMode == 2 ? L'\'' : L'"'; }

// The class library's quoting: AQuote around the text, inner quotes doubled.
std::wstring QuotedStr(const std::wstring& AText, wchar_t AQuote) {
    std::wstring out(1, AQuote);
    for (wchar_t c : AText) {
        out += c;
        if (c == AQuote) out += AQuote;
    }
    return out + AQuote;
}

// The class library's de-quoting: a text that starts with AQuote yields what stands up to the
// closing quote (doubled quotes as one); a text that does not start with it, or an unclosed one,
// is returned as it is.
std::wstring DequotedStr(const std::wstring& AText, wchar_t AQuote) {
    if (AText.empty() || AText[0] != AQuote) return AText;
    std::wstring out;
    size_t i = 1;
    while (i < AText.size()) {
        if (AText[i] == AQuote) {
            if (i + 1 < AText.size() && AText[i + 1] == AQuote) {
                out += AQuote;
                i += 2;
                continue;
            }
            ++i;
            break;
        }
        out += AText[i++];
    }
    const bool atEnd = i >= AText.size();
    if ((out.empty() || atEnd) && AText.back() != AQuote) return AText;
    return out;
}

// The class library's number test of its text-to-Boolean rule: blanks, a sign, digits with an
// optional "." fraction, an optional exponent, blanks.
bool TryTextToFloat(const std::wstring& AText, double& AValue) {
    size_t i = 0, n = AText.size();
    while (i < n && AText[i] == L' ') ++i;
    while (n > i && AText[n - 1] == L' ') --n;
    std::string s;
    for (size_t k = i; k < n; ++k) {
        if (AText[k] > 0x7F) return false;
        s += (char)AText[k];
    }
    size_t p = 0;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
    size_t digits = 0;
    while (p < s.size() && isdigit((unsigned char)s[p])) ++p, ++digits;
    if (p < s.size() && s[p] == '.') {
        ++p;
        while (p < s.size() && isdigit((unsigned char)s[p])) ++p, ++digits;
    }
    if (digits == 0) return false;
    if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
        ++p;
        if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
        size_t exp = 0;
        while (p < s.size() && isdigit((unsigned char)s[p])) ++p, ++exp;
        if (exp == 0) return false;
    }
    if (p != s.size()) return false;
    AValue = strtod(s.c_str(), nullptr);
    return true;
}

bool TryTextToBool(const std::wstring& AText, bool& AValue) {
    double number;
    if (TryTextToFloat(AText, number)) {
        AValue = number != 0;
        return true;
    }
    if (KWSameString(AText, L"True", false, false)) {
        AValue = true;
        return true;
    }
    if (KWSameString(AText, L"False", false, false)) {
        AValue = false;
        return true;
    }
    return false;
}

bool HasKeys(const TKWIniSection* ASection) { return ASection->Values().GetCount() > 0; }

TKWIniSection* SectionOf(TKWProperty* AEntry) {
    return static_cast<TKWIniSection*>(static_cast<TKWObjectProperty*>(AEntry)->Value);
}

std::wstring FolderOf(const std::wstring& AFileName) {
    const size_t pos = AFileName.find_last_of(L"\\/:");
    return pos == std::wstring::npos ? std::wstring() : AFileName.substr(0, pos + 1);
}

// Releases a temporary file unless it was moved into place.
class TTempFile {
public:
    explicit TTempFile(std::wstring APath) : FPath(std::move(APath)) {}
    ~TTempFile() {
        if (!FPath.empty()) RemoveFile(FPath);
    }
    const std::wstring& Path() const { return FPath; }
    void Release() { FPath.clear(); }

private:
    std::wstring FPath;
};

}  // namespace

// ---- TKWIniSection --------------------------------------------------------------------------

TKWIniSection::TKWIniSection(TKWIniFile* AOwner, const std::wstring& AName)
    : FOwner(AOwner), FName(AName), FValues(std::make_unique<TKWProperties>()) {}

TKWIniSection::~TKWIniSection() { Clear(); }

void TKWIniSection::Clear() { FValues->Clear(); }

void TKWIniSection::GetStrings(TStrings* AStrings) const {
    const wchar_t* const method = L"TKWIniSection.GetStrings(AStrings: TStrings)";
    if (!AStrings) throw EKWException(L"Argument \"AStrings\" isnot Assigned", method);
    try {
        const uint8_t mode = FOwner ? FOwner->QuoteMode : 0;
        for (TKWProperty* entry : FValues->GetOrderedList()) {
            const std::wstring& value = static_cast<TKWStringProperty*>(entry)->Value;
            AStrings->Add(entry->Key + L"=" + (mode == 1 || mode == 2 ? QuotedStr(value, QuoteChar(mode)) : value));
        }
    } catch (const std::exception& e) {
        throw EKWException(L"Get Ini Data is failed.", method, &e);
    }
}

// ---- TKWIniFile: lifetime -------------------------------------------------------------------

TKWIniFile::TKWIniFile(const std::wstring& AFileName)
    : FFileName(AFileName), FSections(std::make_unique<TKWProperties>()) {
    if (KWFileExists(AFileName)) LoadFromFile();
}

TKWIniFile::~TKWIniFile() { Clear(); }

void TKWIniFile::SetFileName(const std::wstring& AValue) {
    Clear();
    if (KWSameString(AValue, FFileName, false, false)) return;
    FFileName = AValue;
    if (KWFileExists(FFileName)) LoadFromFile();
}

void TKWIniFile::Clear() {
    FLastSection = nullptr;
    std::vector<TKWIniSection*> sections;
    for (int32_t i = 0; i < FSections->GetCount(); ++i) sections.push_back(SectionOf(FSections->GetItem(i)));
    FSections->Clear();
    for (TKWIniSection* section : sections) delete section;
}

void TKWIniFile::FreeSection(TKWIniSection* ASection) {
    if (FLastSection == ASection) FLastSection = nullptr;
    FSections->DeleteKey(ASection->FName);
    delete ASection;
}

// ---- Text -----------------------------------------------------------------------------------

void TKWIniFile::SetStrings(TStrings* AStrings) {
    if (!AStrings) return;
    TKWIniSection* current = nullptr;
    for (int32_t i = 0; i < AStrings->GetCount(); ++i) {
        const std::wstring line = KWTrim(AStrings->GetStrings(i));
        if (line.empty()) continue;
        if (line.size() >= 2 && line.front() == L'[' && line.back() == L']') {
            const std::wstring name = KWTrim(line.substr(1, line.size() - 2));
            if (name.empty()) continue;
            TObject* found = FSections->GetObject(name, KWClassOf<TKWIniSection>, nullptr);
            current = found ? static_cast<TKWIniSection*>(found) : AddSection(name, 0);
            continue;
        }
        if (!current) continue;
        std::wstring key, value;
        if (!KWSplitKeyValue(line, L"=", key, value) || key.empty()) continue;
        if (QuoteMode == 1 || QuoteMode == 2) value = DequotedStr(value, QuoteChar(QuoteMode));
        current->FValues->SetString(key, value);
    }
}

void TKWIniFile::GetStrings(TStrings* AStrings) {
    const wchar_t* const method = L"TKWIniFile.GetStrings(AStrings: TStrings)";
    if (!AStrings) throw EKWException(L"Argument \"AStrings\" isnot Assigned", method);
    try {
        for (TKWProperty* entry : FSections->GetOrderedList()) {
            TKWIniSection* section = SectionOf(entry);
            AStrings->Add(L"[" + section->FName + L"]");
            section->GetStrings(AStrings);
            AStrings->Add(L"");
        }
    } catch (const std::exception& e) {
        throw EKWException(L"Get Ini Data is failed.", method, &e);
    }
}

// ---- Files and streams ----------------------------------------------------------------------

void TKWIniFile::LoadFromFile() {
    const wchar_t* const method = L"LoadFromFile";
    if (!KWFileExists(FFileName)) throw EKWException(L"File Not Found.", method);
    Clear();
    // Reading only, and letting other readers in: asking for write access would fail on a
    // read-only file and on one that another process holds open for reading, after retrying.
    std::unique_ptr<TFileStream> stream;
    for (int32_t attempt = 0;; ++attempt) {
        try {
            stream = std::make_unique<TFileStream>(FFileName, fmOpenRead | fmShareDenyWrite);
            break;
        } catch (const Exception& e) {
            KWLog(L"TKWIniFile.LoadFromFile", e.Message(), 3);
            if (attempt >= kLoadRetries) throw EKWException(L"File Open is Failed.", method);
            std::this_thread::sleep_for(std::chrono::milliseconds(kLoadRetrySleep));
        }
    }
    LoadFromStream(stream.get());
}

void TKWIniFile::LoadFromStream(TStream* AStream) {
    if (!AStream)
        throw EKWException(L"Stream is not Assigned.", L"TKWIniFile.LoadFromStream(AStream: TStream)");
    TStringList raw;
    raw.LoadFromStream(AStream);
    TStringList lines;
    lines.SetText(KWNormalizeLoadedText(raw.GetText()));
    SetStrings(&lines);
}

void TKWIniFile::SaveToStream(TStream* AStream) {
    const wchar_t* const method = L"TKWIniFile.SaveToStream(AStream: TStream)";
    if (!AStream) throw EKWException(L"Stream is not Assigned.", method);
    try {
        DeleteEmptySection(nullptr);
        TStringList lines;
        GetStrings(&lines);
        const std::string text = WideToAnsi(KWNormalizeSavedText(lines.GetText()));
        if (!text.empty()) AStream->WriteBuffer(text.data(), (int32_t)text.size());
        AStream->SetPosition(0);
    } catch (const std::exception& e) {
        throw EKWException(L"Save to Stream is Failed.", method, &e);
    }
}

void TKWIniFile::UpdateFile(int32_t ATryNum, int32_t ARetrySleep) {
    const std::wstring folder = FolderOf(FFileName);
    if (!KWForceDirectories(folder)) throw EKWException(L"ForceDirectories is Failed:" + FFileName, L"");
    TMemoryStream data;
    SaveToStream(&data);

    // The new content goes into a temporary file beside the old one, which it then replaces in
    // one step: a failed write leaves the old file whole.
    std::wstring tempName;
    if (!CreateTempFileIn(folder, L"KWI", tempName))
        throw EKWException(L"Save File is Failed:" + SysErrorMessage(GetLastOSError()), kUpdateFileMethod);
    TTempFile temp(tempName);
    const std::string bytes(static_cast<const char*>(data.GetMemory()), (size_t)data.GetSize());
    if (!WriteWholeFile(temp.Path(), bytes, true))
        throw EKWException(L"Save File is Failed:" + SysErrorMessage(GetLastOSError()), kUpdateFileMethod);

    // A file that another process holds open (or a read-only one) cannot be replaced; retry.
    if (ATryNum < 0) ATryNum = 0;
    for (int32_t attempt = 0;; ++attempt) {
        if (ReplaceFileWith(FFileName, temp.Path())) {
            temp.Release();
            return;
        }
        KWLog(L"TKWIniFile.UpdateFile", FFileName + L": " + SysErrorMessage(GetLastOSError()), 3);
        if (attempt >= ATryNum) throw EKWException(L"Open File is Failed.", kUpdateFileMethod);
        if (ARetrySleep > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ARetrySleep));
    }
}

// ---- Sections -------------------------------------------------------------------------------

std::wstring TKWIniFile::CheckSectionName(const std::wstring& AName) {
    const std::wstring name = KWTrim(AName);
    if (name.empty()) throw EKWException(L"Section Name Is Empty.", kCheckSectionNameMethod);
    if (name.find(L'\r') != std::wstring::npos)
        throw EKWIniInvalidValue(L"Include KeyCode \"CR\"  in Value:" + AName, kCheckSectionNameMethod);
    if (name.find(L'\n') != std::wstring::npos)
        throw EKWIniInvalidValue(L"Include KeyCode \"LF\"  in Value" + AName, kCheckSectionNameMethod);
    if (name.find(L'=') != std::wstring::npos)
        throw EKWException(L"Include \"=\" in Section Name  :" + AName, kCheckSectionNameMethod);
    return name;
}

TKWIniSection* TKWIniFile::AddSection(const std::wstring& ASection, int32_t ACapacity) {
    const std::wstring name = CheckSectionName(ASection);
    if (TObject* found = FSections->GetObject(name, KWClassOf<TKWIniSection>, nullptr)) {
        TKWIniSection* section = static_cast<TKWIniSection*>(found);
        section->FValues->SetCapacity(section->FValues->GetCapacity() + ACapacity);
        return section;
    }
    auto section = std::make_unique<TKWIniSection>(this, name);
    try {
        section->FValues->SetCaseSensitive(GetCaseSensitive());
        section->FValues->SetCapacity(ACapacity);
        FSections->SetObject(name, section.get(), KWClassOf<TKWIniSection>);
    } catch (const std::exception& e) {
        throw EKWException(L"Section Add Failed...:" + name,
                           L"TKWIniFile.AddSection(const ASection: String): TKWIniSection", &e);
    }
    return section.release();
}

TKWIniSection* TKWIniFile::GetSection(const std::wstring& ASection) {
    if (TKWIniSection* section = FindSection(ASection)) return section;
    return AddSection(ASection, 0);
}

TKWIniSection* TKWIniFile::FindSection(const std::wstring& ASection) {
    const std::wstring name = CheckSectionName(ASection);
    if (FLastSection && KWSameString(FLastSection->FName, name, GetCaseSensitive(), false)) return FLastSection;
    FLastSection = static_cast<TKWIniSection*>(FSections->GetObject(name, KWClassOf<TKWIniSection>, nullptr));
    return FLastSection;
}

bool TKWIniFile::SectionExists(const std::wstring& ASection) { return FindSection(ASection) != nullptr; }

void TKWIniFile::SectionRename(const std::wstring& ASection, const std::wstring& ANewName) {
    const std::wstring oldName = CheckSectionName(ASection);
    const std::wstring newName = CheckSectionName(ANewName);
    if (KWSameString(oldName, newName, GetCaseSensitive(), false)) return;
    TKWIniSection* section = FindSection(oldName);
    if (!section)
        throw EKWException(L"Section Not Found.", L"TKWIniFile.SectionRename(const ASection, ANewName: String)");
    TKWIniSection* former = static_cast<TKWIniSection*>(FSections->GetObject(newName, KWClassOf<TKWIniSection>, nullptr));
    FSections->DeleteKey(section->FName);
    section->FName = newName;
    // An existing entry keeps its place and takes the renamed section; a new one goes last.
    FSections->SetObject(newName, section, KWClassOf<TKWIniSection>);
    if (former) {
        if (FLastSection == former) FLastSection = nullptr;
        delete former;
    }
}

void TKWIniFile::DeleteEmptySection(TKWIniSection* ASection) {
    if (ASection) {
        if (!HasKeys(ASection)) FreeSection(ASection);
        return;
    }
    std::vector<TKWIniSection*> empty;
    for (int32_t i = 0; i < FSections->GetCount(); ++i) {
        TKWIniSection* section = SectionOf(FSections->GetItem(i));
        if (!HasKeys(section)) empty.push_back(section);
    }
    for (TKWIniSection* section : empty) FreeSection(section);
}

bool TKWIniFile::GetCaseSensitive() const { return FSections->GetCaseSensitive(); }

// ---- Values ---------------------------------------------------------------------------------

std::wstring TKWIniFile::ReadString(const std::wstring& ASection, const std::wstring& AIdent,
                                    const std::wstring& ADefault) {
    TKWIniSection* section = FindSection(ASection);
    return section ? section->FValues->GetString(AIdent, ADefault) : ADefault;
}

void TKWIniFile::WriteString(const std::wstring& ASection, const std::wstring& AIdent, const std::wstring& AValue) {
    GetSection(ASection)->FValues->SetString(AIdent, AValue);
}

int32_t TKWIniFile::ReadInteger(const std::wstring& ASection, const std::wstring& AIdent, int32_t ADefault) {
    std::wstring value = ReadString(ASection, AIdent, L"");
    if (value.size() > 2 && value[0] == L'0' && (value[1] == L'x' || value[1] == L'X'))
        value = L"$" + value.substr(2);
    return StrToIntDef(value, ADefault);
}

bool TKWIniFile::ReadBool(const std::wstring& ASection, const std::wstring& AIdent, bool ADefault) {
    bool value = ADefault;
    return TryTextToBool(ReadString(ASection, AIdent, L""), value) ? value : ADefault;
}

int32_t TKWIniFile::ReadHex(const std::wstring& ASection, const std::wstring& AIdent, int32_t ADefault) {
    TKWIniSection* section = FindSection(ASection);
    if (!section) return ADefault;
    const std::wstring value = section->FValues->GetString(AIdent, L"");
    if (value.empty()) return ADefault;
    return StrToInt(L"$" + (value.size() > 2 ? value.substr(2, 8) : std::wstring()));
}
