// Ini documents: sections of key/value pairs kept in the order they were first added, looked up
// without regard to case, read from and written to files and streams as ANSI text (through the
// Japanese text normalisers), with typed reads, section renaming and a save that retries while
// the file is locked.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "Classes.h"
#include "KWException.h"

struct tagRECT;
class TKWProperties;
class TKWIniFile;

// A section name holding CR or LF.
class EKWIniInvalidValue : public EKWException {
public:
    EKWIniInvalidValue(const std::wstring& AMessage, const std::wstring& AMethod,
                       const std::exception* APrevious = nullptr)
        : EKWException(AMessage, AMethod, APrevious, L"EKWIniInvalidValue") {}
};

class TKWIniSection : public TObject {
public:
    KW_CLASS_NAME(TKWIniSection)
    TKWIniSection(TKWIniFile* AOwner, const std::wstring& AName);
    ~TKWIniSection() override;
    TKWIniSection(const TKWIniSection&) = delete;
    TKWIniSection& operator=(const TKWIniSection&) = delete;

    TKWIniFile* GetOwner() const { return FOwner; }
    const std::wstring& GetName() const { return FName; }
    // Key -> value strings, each key numbered in the order it was first set.
    TKWProperties& Values() const { return *FValues; }
    void Clear();
    // Appends key=value lines in the order the keys were first set, quoted per the owner's mode.
    void GetStrings(TStrings* AStrings) const;

private:
    friend class TKWIniFile;
    TKWIniFile* FOwner;
    std::wstring FName;
    std::unique_ptr<TKWProperties> FValues;
};

class TKWIniFile : public TObject {
public:
    KW_CLASS_NAME(TKWIniFile)
    // An empty document; loads AFileName when that file exists.
    explicit TKWIniFile(const std::wstring& AFileName);
    ~TKWIniFile() override;
    TKWIniFile(const TKWIniFile&) = delete;
    TKWIniFile& operator=(const TKWIniFile&) = delete;

    const std::wstring& GetFileName() const { return FFileName; }
    // Empties the document; then, for another name (compared without case), stores it and loads
    // the file when it exists.
    void SetFileName(const std::wstring& AValue);
    void Clear();

    // Parses lines into the document, adding to its content.
    void SetStrings(TStrings* AStrings);
    // Appends the text form: "[name]", key=value lines, an empty line, per section.
    void GetStrings(TStrings* AStrings);
    // Empties the document and loads FileName (opened for reading only, with retries).
    void LoadFromFile();
    // Loads the rest of the stream (byte-order mark or ANSI), adding to the content.
    void LoadFromStream(TStream* AStream);
    // Drops empty sections and writes the document as ANSI text at the stream's position; the
    // stream is left at position 0.
    void SaveToStream(TStream* AStream);
    // Writes the document to FileName through a temporary file in the same folder that then
    // replaces the old file; a locked file is retried ATryNum times, ARetrySleep ms apart.
    void UpdateFile(int32_t ATryNum, int32_t ARetrySleep);

    // The trimmed name; raises for an empty name or one with CR, LF or "=".
    std::wstring CheckSectionName(const std::wstring& AName);
    TKWIniSection* AddSection(const std::wstring& ASection, int32_t ACapacity);
    TKWIniSection* GetSection(const std::wstring& ASection);
    TKWIniSection* FindSection(const std::wstring& ASection);
    bool SectionExists(const std::wstring& ASection);
    void SectionRename(const std::wstring& ASection, const std::wstring& ANewName);
    // Frees ASection when it has no keys; with nullptr every section without keys.
    void DeleteEmptySection(TKWIniSection* ASection);
    bool GetCaseSensitive() const;

    std::wstring ReadString(const std::wstring& ASection, const std::wstring& AIdent,
                            const std::wstring& ADefault);
    void WriteString(const std::wstring& ASection, const std::wstring& AIdent, const std::wstring& AValue);
    int32_t ReadInteger(const std::wstring& ASection, const std::wstring& AIdent, int32_t ADefault);
    bool ReadBool(const std::wstring& ASection, const std::wstring& AIdent, bool ADefault);
    // The value's characters 3 to 10 as hexadecimal (a "0x" prefix is skipped unseen); raises
    // EConvertError for a bad digit.
    int32_t ReadHex(const std::wstring& ASection, const std::wstring& AIdent, int32_t ADefault);
    // "left,top,right,bottom"; ADefault unless exactly four integers.
    tagRECT ReadRect(const std::wstring& ASection, const std::wstring& AIdent, const tagRECT& ADefault);

    // 0 none, 1 values written in double quotes (and unquoted when read), 2 single quotes.
    uint8_t QuoteMode = 0;
    // When true, nothing changes: LoadFromFile always opens for reading only.
    bool ReadOnly = false;

private:
    void FreeSection(TKWIniSection* ASection);

    std::wstring FFileName;
    std::unique_ptr<TKWProperties> FSections;
    TKWIniSection* FLastSection = nullptr;
};
