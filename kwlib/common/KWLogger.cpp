#include "KWLogger.h"

#include <chrono>
#include <cmath>

#include "Classes.h"
#include "KWCommonLib_files.h"
#include "KWCommonLib_strings.h"
#include "SysUtils.h"
#include "UnitInit.h"

const wchar_t* const KWDebugWindowName = L"ORVANE_LUMIVERA_DEBUG_WINDOW";
const wchar_t* const KWMainWindowHandleName = L"KW_MAIN_WINDOW_HANDLE";

namespace {

// The global logger. KWLog holds GlobalLoggerLock only while it queues, so that shut-down, which clears
// the reference under the same lock, never destroys a logger that a caller is still using.
std::mutex GlobalLoggerLock;
std::unique_ptr<TKWLogger> GlobalLogger;

const wchar_t* LevelMark(uint8_t ALevel) {
    switch (ALevel) {
        case 1: return L"▼";
        case 2: return L"▲";
        case 3: return L"★";
        default: return L"";
    }
}

// Splits a text into lines at CR LF, LF or CR, as a string list's text does.
std::vector<std::wstring> SplitLines(const std::wstring& AText) {
    std::vector<std::wstring> lines;
    size_t start = 0, i = 0;
    while (i < AText.size()) {
        if (AText[i] == L'\r' || AText[i] == L'\n') {
            lines.push_back(AText.substr(start, i - start));
            if (AText[i] == L'\r' && i + 1 < AText.size() && AText[i + 1] == L'\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < AText.size()) lines.push_back(AText.substr(start));
    return lines;
}

// The largest log file that is read back to continue it (below 1 GiB); a larger one stays closed.
constexpr uint64_t kMaxLogFileSize = 0x40000000 - 1;

}  // namespace

// ---- TKWLogData ------------------------------------------------------------------------------

TKWLogData::TKWLogData(TKWLogger* ALogger, uint8_t ALevel, double ATime, std::wstring ASender, std::wstring AText)
    : Logger(ALogger), Level(ALevel), Time(ATime), Sender(std::move(ASender)), Text(std::move(AText)) {}

const std::wstring& TKWLogData::GetText() {
    if (Line.empty()) {
        Line = L"[" + KWDateTimeToStr(Time) + L"][" + (Sender.empty() ? std::wstring(L"NULL") : Sender) + L"] " +
               LevelMark(Level) + Text;
    }
    return Line;
}

void TKWLogData::WriteTo(TKWLogFile* AWriter) {
    const std::wstring& line = GetText();
    if (AWriter) AWriter->WriteLine(line);
    KWSendToDebugWindow(line);
}

// ---- TKWLoggerThread -------------------------------------------------------------------------

TKWLoggerThread::TKWLoggerThread(TKWLogger* ALogger) : Logger(ALogger) {}

TKWLoggerThread::~TKWLoggerThread() {
    Terminate();
    WaitFor();
}

void TKWLoggerThread::Start() {
    FThread = std::thread([this] {
        KWLowerLoggerThreadPriority();
        Execute();
    });
}

void TKWLoggerThread::WaitFor() {
    if (FThread.joinable()) FThread.join();
}

void TKWLoggerThread::Execute() {
    while (!Terminated && !Logger->Disabled) {
        Logger->TakeBatch(Batch);
        if (Batch.empty()) {
            if (Terminated || Logger->Disabled) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(KWLogIdleSleep));
            continue;
        }
        for (std::unique_ptr<TKWLogData>& entry : Batch) {
            try {
                entry->WriteTo(Logger->Writer.get());
            } catch (...) {
                Logger->Disabled = true;
            }
            entry.reset();
        }
        Batch.clear();
    }
}

// ---- TKWLogFile ------------------------------------------------------------------------------

void TKWLogFile::WriteLine(const std::wstring& ALine) {
    if (EnsureFile()) {
        Lines.push_back(ALine);
        FileSize += int64_t(WideToAnsi(ALine).size());
    }
    if (AutoFlush && KWLogTickCount() - LastFlushTick > KWLogFlushInterval) FlushFile();
}

bool TKWLogFile::EnsureFile() {
    if (IsOpen && !Numbered) return true;
    std::wstring name = FileName;
    if (Numbered) {
        if (IsOpen && !(FileSize > MaxFileSize)) return true;
        if (!KWSameDay(Now(), FileNoDate)) {
            FileNo = 0;
            FileNoDate = Now();
        }
        if (IsOpen) {
            ++FileNo;
            name = MakeFileName(FileNo);
        } else {
            // Continue the last existing file of the day.
            int32_t n = FileNo;
            while (FileExists(MakeFileName(n))) ++n;
            FileNo = n > 0 ? n - 1 : n;
            name = MakeFileName(FileNo);
        }
    }
    return OpenFile(name);
}

bool TKWLogFile::OpenFile(const std::wstring& AFileName) {
    try {
        if (IsOpen && KWSameString(AFileName, FileName, false, false)) return true;
        if (IsOpen) {
            FlushFile();
            IsOpen = false;
        }
        if (FileExists(AFileName)) {
            std::string data;
            if (!ReadWholeFile(AFileName, data, kMaxLogFileSize)) return false;
            Lines = SplitLines(AnsiToWide(data));
            FileSize = int64_t(data.size());
        } else {
            const size_t slash = AFileName.find_last_of(L"\\/");
            const std::wstring dir = slash == std::wstring::npos ? std::wstring() : AFileName.substr(0, slash);
            if (!dir.empty() && !DirectoryExists(dir)) {
                if (!KWForceDirectories(dir)) return false;
            }
            Lines.clear();
            FileSize = 0;
        }
        FileName = AFileName;
        IsOpen = true;
        return true;
    } catch (...) {
        return false;
    }
}

std::wstring TKWLogFile::MakeFileName(int32_t ANumber) const {
    uint16_t year = 0, month = 0, day = 0;
    DecodeDate(FileNoDate, year, month, day);
    std::wstring num = std::to_wstring(ANumber);
    if (int32_t(num.size()) < NumDigits) num.insert(0, size_t(NumDigits) - num.size(), L'0');
    std::wstring result = KWReplace(FileNameTemplate, L"%Year%", Format(L"%.4d", year), false, true);
    result = KWReplace(result, L"%Month%", Format(L"%.2d", month), false, true);
    result = KWReplace(result, L"%Day%", Format(L"%.2d", day), false, true);
    return KWReplace(result, L"%Num%", num, false, true);
}

void TKWLogFile::FlushFile() {
    if (IsOpen) {
        try {
            std::wstring text;
            for (const std::wstring& line : Lines) text += line + L"\r\n";
            if (!WriteWholeFile(FileName, WideToAnsi(text))) KWDebugOutput(L"FlushFile Failed");
        } catch (...) {
            KWDebugOutput(L"FlushFile Failed");
        }
    }
    LastFlushTick = KWLogTickCount();
}

// ---- TKWLogger -------------------------------------------------------------------------------

TKWLogger::TKWLogger() = default;

TKWLogger::~TKWLogger() {
    try {
        StopThread();
        Flush();
    } catch (...) {
    }
}

void TKWLogger::Add(const std::wstring& ASender, const std::wstring& AText, uint8_t ALevel) {
    if (Disabled) return;
    try {
        std::lock_guard<std::mutex> guard(Lock);
        Queue.push_back(std::make_unique<TKWLogData>(this, ALevel, Now(), ASender, AText));
    } catch (...) {
        Disabled = true;
    }
}

void TKWLogger::StartThread() {
    std::lock_guard<std::mutex> guard(Lock);
    if (Worker) return;
    Worker = std::make_unique<TKWLoggerThread>(this);
    Worker->Start();
}

// The worker takes Lock for every batch, so the wait runs without it.
void TKWLogger::StopThread() {
    std::unique_ptr<TKWLoggerThread> worker;
    {
        std::lock_guard<std::mutex> guard(Lock);
        worker = std::move(Worker);
    }
    if (!worker) return;
    worker->Terminate();
    worker->WaitFor();
}

void TKWLogger::TakeBatch(TKWLogDataList& AList) {
    if (Disabled) return;
    std::lock_guard<std::mutex> guard(Lock);
    const size_t n = std::min(KWLogBatchSize, Queue.size());
    for (size_t i = 0; i < n; ++i) {
        AList.push_back(std::move(Queue.front()));
        Queue.pop_front();
    }
}

void TKWLogger::Flush() {
    if (Writer) Writer->AutoFlush = false;
    while (!Queue.empty()) {
        std::unique_ptr<TKWLogData> entry = std::move(Queue.front());
        Queue.pop_front();
        entry->WriteTo(Writer.get());
    }
    if (Writer) {
        Writer->FlushFile();
        Writer->AutoFlush = true;
    }
}

// ---- Entry points ----------------------------------------------------------------------------

void KWLog(const std::wstring& ASender, const std::wstring& AText, uint8_t ALevel) {
    try {
        std::lock_guard<std::mutex> guard(GlobalLoggerLock);
        if (GlobalLogger) GlobalLogger->Add(ASender, AText, ALevel);
    } catch (...) {
    }
}

void KWLogObject(const TObject* ASender, const std::wstring& AText, uint8_t ALevel) {
    std::wstring sender;
    try {
        if (const auto* component = dynamic_cast<const TComponent*>(ASender))
            sender = component->GetName();
        else if (ASender)
            sender = std::wstring(ASender->ClassName()) + L"(" + IntToStr(int32_t(intptr_t(ASender))) + L")";
    } catch (...) {
        sender = L"名称エラー";
    }
    KWLog(sender, AText, ALevel);
}

void KWLogError(const std::wstring& AText) { KWLog(L"", AText, 3); }

TKWLogger* KWGetGlobalLogger() {
    std::lock_guard<std::mutex> guard(GlobalLoggerLock);
    return GlobalLogger.get();
}

// ---- Unit start-up and shut-down -------------------------------------------------------------

void KWLogger_Initialize() {
    KWProbeDebugViewer();
    auto logger = std::make_unique<TKWLogger>();
    logger->StartThread();
    {
        std::lock_guard<std::mutex> guard(GlobalLoggerLock);
        std::swap(GlobalLogger, logger);
    }
    logger.reset();  // a logger of an earlier start-up, if any
}

void KWLogger_Finalize() {
    std::unique_ptr<TKWLogger> logger;
    {
        std::lock_guard<std::mutex> guard(GlobalLoggerLock);
        logger = std::move(GlobalLogger);
    }
    logger.reset();
}

void KWLogger_Register() {
    RegisterUnit(L"KWLogger", urKWLogger, KWLogger_Initialize, KWLogger_Finalize);
}
