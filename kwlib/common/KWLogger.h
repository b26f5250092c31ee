// The in-house library's one global logger. KWLog queues an entry under a lock and returns; a worker
// thread of lowered priority formats the entries in batches and delivers each line to the debug
// viewer (a separate program found at start-up through a mutex and window properties, fed with
// WM_COPYDATA) and to a log-file writer when one is attached.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TKWLogger;
class TKWLogFile;
class TObject;

// The names that the debug viewer's channel is bound to.
extern const wchar_t* const KWDebugWindowName;     // mutex and window property, value 1
extern const wchar_t* const KWMainWindowHandleName; // property holding the receiving window

// Entries per batch that the worker takes under the lock; its sleep when the queue is empty.
constexpr size_t KWLogBatchSize = 50;
constexpr uint32_t KWLogIdleSleep = 5;
constexpr uint32_t KWLogFlushInterval = 5000;

// One queued entry.
class TKWLogData {
public:
    TKWLogData(TKWLogger* ALogger, uint8_t ALevel, double ATime, std::wstring ASender, std::wstring AText);

    // "[yyyy/mm/dd hh:nn:ss][sender] " + level mark + text ("NULL" for an empty sender); formatted
    // once, then kept.
    const std::wstring& GetText();
    // Delivers the line to the writer (when given) and to the debug viewer.
    void WriteTo(TKWLogFile* AWriter);

    TKWLogger* Logger;
    uint8_t Level;
    double Time;
    std::wstring Sender;
    std::wstring Text;
    std::wstring Line;
};

using TKWLogDataList = std::vector<std::unique_ptr<TKWLogData>>;

// The worker: takes batches from its logger's queue and delivers them.
class TKWLoggerThread {
public:
    explicit TKWLoggerThread(TKWLogger* ALogger);
    ~TKWLoggerThread();  // asks to stop and waits
    void Start();
    void Terminate() { Terminated = true; }
    void WaitFor();

    TKWLogger* Logger;
    TKWLogDataList Batch;

private:
    void Execute();
    std::atomic<bool> Terminated{false};
    std::thread FThread;
};

// The log-file writer: the whole file is held in Lines and written out at most every
// KWLogFlushInterval ms, and at shut-down. Optionally numbered by day and size.
class TKWLogFile {
public:
    void WriteLine(const std::wstring& ALine);
    bool EnsureFile();
    bool OpenFile(const std::wstring& AFileName);
    // FileNameTemplate with "%Year%", "%Month%", "%Day%" (of FileNoDate) and "%Num%" (ANumber,
    // zero-padded to NumDigits) replaced.
    std::wstring MakeFileName(int32_t ANumber) const;
    void FlushFile();

    std::vector<std::wstring> Lines;
    bool IsOpen = false;
    std::wstring FileName;
    int64_t FileSize = 0;
    bool Numbered = false;
    std::wstring FileNameTemplate;
    int64_t MaxFileSize = 0;
    int32_t FileNo = 0;
    double FileNoDate = 0;
    int32_t NumDigits = 0;
    bool AutoFlush = true;
    uint32_t LastFlushTick = 0;
};

class TKWLogger {
public:
    TKWLogger();
    // Stops the worker, delivers what is still queued, then frees the queue and the writer.
    ~TKWLogger();

    // Queues an entry; never raises. A failure disables the logger for good.
    void Add(const std::wstring& ASender, const std::wstring& AText, uint8_t ALevel);
    void StartThread();
    void StopThread();
    // Moves the oldest entries (at most KWLogBatchSize) from the queue to AList.
    void TakeBatch(TKWLogDataList& AList);
    // Delivers every queued entry, oldest first, and empties the queue.
    void Flush();

    std::mutex Lock;
    std::deque<std::unique_ptr<TKWLogData>> Queue;
    std::unique_ptr<TKWLoggerThread> Worker;
    std::unique_ptr<TKWLogFile> Writer;
    std::atomic<bool> Disabled{false};
};

// The logging entry points: they never raise and never wait for delivery.
void KWLog(const std::wstring& ASender, const std::wstring& AText, uint8_t ALevel);
// The sender named after an object: '' for nullptr, a component's name, else the class name with
// the object's address in signed decimal, e.g. "TList(19922944)".
void KWLogObject(const TObject* ASender, const std::wstring& AText, uint8_t ALevel);
void KWLogError(const std::wstring& AText);
// Writes to the debugger output while a debugger is attached.
void KWDebugOutput(const std::wstring& AText);
// Sends a line to the debug viewer found at start-up, when there is one.
void KWSendToDebugWindow(const std::wstring& ALine);

// The global logger (nullptr before start-up and after shut-down).
TKWLogger* KWGetGlobalLogger();

// Whether a debug viewer was found at start-up and still answers.
bool KWViewerActive();

// The platform half (natively there is no viewer and no debugger output): looks for a running
// debug viewer and keeps its window (start-up); lowers the calling worker thread's priority; a
// millisecond clock that wraps at 32 bits, for the flush interval.
void KWProbeDebugViewer();
void KWLowerLoggerThreadPriority();
uint32_t KWLogTickCount();

// Unit start-up: probes for a running debug viewer, then creates the global logger and starts its
// worker. Shut-down: clears the global logger, then destroys it (stop, final delivery).
void KWLogger_Initialize();
void KWLogger_Finalize();
// Registers the start-up and shut-down above with the unit registry (the program entry calls it).
void KWLogger_Register();
