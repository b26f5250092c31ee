// Printer information: snapshots, the port list, and the refresh on the settings-changed broadcast.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "KWCommonLib_shell.h"
#include "QdPrinters.h"
#include "UnitInit.h"
#include "WinApi.h"

#include <winspool.h>

namespace {

const wchar_t* const PortsKey = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

// Level-4 records over names that the test keeps alive.
std::unique_ptr<TQdAllPrintersInfo> Snapshot(const std::vector<std::pair<const wchar_t*, DWORD>>& APrinters) {
    std::vector<uint8_t> buffer(APrinters.size() * sizeof(PRINTER_INFO_4W));
    for (size_t i = 0; i < APrinters.size(); ++i) {
        PRINTER_INFO_4W rec = {};
        rec.pPrinterName = const_cast<wchar_t*>(APrinters[i].first);
        rec.Attributes = APrinters[i].second;
        std::memcpy(buffer.data() + i * sizeof(rec), &rec, sizeof(rec));
    }
    return std::make_unique<TQdAllPrintersInfo>(4, std::move(buffer), static_cast<int32_t>(APrinters.size()));
}

// A top-level window standing in for the application window, registered as such for the test.
class TAppWindow {
public:
    TAppWindow() {
        FWnd = CreateWindowExW(0, L"STATIC", L"app", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        KWSetApplicationWindow(FWnd);
    }
    ~TAppWindow() {
        KWSetApplicationWindow(nullptr);
        DestroyWindow(FWnd);
    }
    HWND Handle() const { return FWnd; }

private:
    HWND FWnd;
};

void Broadcast(HWND AWnd) { SendMessageW(AWnd, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>(L"Devices")); }

// Adds a printer port to the spooler's port list for the life of the object.
class TExtraPort {
public:
    explicit TExtraPort(const wchar_t* AName) : FName(AName) {
        FOk = RegSetKeyValueW(HKEY_LOCAL_MACHINE, PortsKey, AName, REG_SZ, L"", sizeof(wchar_t)) == ERROR_SUCCESS;
    }
    ~TExtraPort() { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, PortsKey, FName); }
    bool Ok() const { return FOk; }

private:
    const wchar_t* FName;
    bool FOk;
};

}  // namespace

TEST(QdPrinters, SnapshotsCompareByNameAndAttributes) {
    auto a = Snapshot({{L"Printer A", 0x40}, {L"FAX", 0x240}});
    EXPECT_EQ(a->Count, 2);
    EXPECT_EQ(a->GetName(1), L"FAX");
    EXPECT_EQ(a->GetAttributes(0), 0x40u);
    EXPECT_THROW(a->GetName(2), EListError);
    EXPECT_THROW(a->GetAttributes(-1), EListError);

    struct Case {
        std::vector<std::pair<const wchar_t*, DWORD>> other;
        bool same;
    } cases[] = {
        {{{L"Printer A", 0x40}, {L"FAX", 0x240}}, true},
        {{{L"FAX", 0x240}, {L"Printer A", 0x40}}, false},   // order counts
        {{{L"Printer A", 0x40}, {L"fax", 0x240}}, false},   // names compare exactly
        {{{L"Printer A", 0x40}, {L"FAX", 0x244}}, false},
        {{{L"Printer A", 0x40}}, false},
        {{}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(a->SameAs(Snapshot(c.other).get()), c.same) << c.other.size();
    EXPECT_TRUE(Snapshot({})->SameAs(Snapshot({}).get()));
    EXPECT_FALSE(a->SameAs(nullptr));
}

TEST(QdPrinters, SystemSnapshot) {
    TQdAllPrintersInfo now;
    EXPECT_EQ(now.Level, 4);   // NT family
    EXPECT_GE(now.Count, 0);
    for (int32_t i = 0; i < now.Count; ++i) EXPECT_FALSE(now.GetName(i).empty());
    TQdAllPrintersInfo again;
    EXPECT_TRUE(now.SameAs(&again));
}

TEST(QdPrinters, BroadcastRefreshesPortsAndFiresOnChangesOnly) {
    TAppWindow app;
    TQdPrinter printer;
    EXPECT_EQ(printer.HookedWindow(), app.Handle());
    EXPECT_EQ(printer.PrinterIndex, -1);
    EXPECT_EQ(printer.Ports->GetCount(), 0) << "the port list is read at the first broadcast";
    int fired = 0;
    printer.OnPrintersChanged = [&](TObject* Sender) {
        EXPECT_EQ(Sender, &printer);
        ++fired;
    };

    Broadcast(app.Handle());
    const int32_t systemPorts = printer.Ports->GetCount();
    EXPECT_EQ(fired, systemPorts > 0 ? 1 : 0);
    for (int32_t i = 0; i < systemPorts; ++i)
        for (int32_t j = i + 1; j < systemPorts; ++j)
            EXPECT_NE(_wcsicmp(printer.Ports->GetStrings(i).c_str(), printer.Ports->GetStrings(j).c_str()), 0);

    // Nothing changed: no callback. Other messages are not looked at.
    fired = 0;
    Broadcast(app.Handle());
    SendMessageW(app.Handle(), WM_USER, 0, 0);
    EXPECT_EQ(fired, 0);

    // A new port: one callback, and the port is listed.
    {
        TExtraPort port(L"KWTEST1:");
        ASSERT_TRUE(port.Ok());
        Broadcast(app.Handle());
        EXPECT_EQ(fired, 1);
        EXPECT_GE(printer.Ports->IndexOf(L"kwtest1:"), 0);
        EXPECT_EQ(printer.Ports->GetCount(), systemPorts + 1);
        Broadcast(app.Handle());
        EXPECT_EQ(fired, 1);
    }
    // And gone again.
    Broadcast(app.Handle());
    EXPECT_EQ(fired, 2);
    EXPECT_EQ(printer.Ports->GetCount(), systemPorts);
}

TEST(QdPrinters, PrinterChangeResetsTheChoice) {
    TAppWindow app;
    TQdPrinter printer;
    int fired = 0;
    printer.OnPrintersChanged = [&](TObject*) { ++fired; };
    // The printers as they were: one that is not there any more.
    printer.Printers = Snapshot({{L"Gone Printer", 0x40}});
    printer.PrinterIndex = 0;
    printer.DevMode.assign(64, 1);
    printer.DevModeValid = true;

    Broadcast(app.Handle());
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(printer.PrinterIndex, -1);
    EXPECT_TRUE(printer.DevMode.empty());
    EXPECT_FALSE(printer.DevModeValid);
    TQdAllPrintersInfo now;
    EXPECT_TRUE(printer.Printers->SameAs(&now));
    EXPECT_EQ(printer.Ports->GetCount(), 0) << "a printer change leaves the port list alone";
}

TEST(QdPrinters, WithoutAnApplicationWindowItHooksAHiddenWindowOfItsOwn) {
    ASSERT_EQ(KWGetApplicationWindow(), nullptr);
    HWND own = nullptr;
    {
        TQdPrinter printer;
        own = printer.HookedWindow();
        ASSERT_TRUE(IsWindow(own));
        EXPECT_EQ(GetAncestor(own, GA_ROOT), own) << "top-level, so that broadcasts reach it";
        EXPECT_FALSE(IsWindowVisible(own));
        int fired = 0;
        printer.OnPrintersChanged = [&](TObject*) { ++fired; };
        printer.Printers = Snapshot({{L"Gone Printer", 0}});
        Broadcast(own);
        EXPECT_EQ(fired, 1);
    }
    EXPECT_FALSE(IsWindow(own));
}

TEST(QdPrinters, GlobalObjectFollowsTheUnit) {
    TAppWindow app;
    QdPrinters_Register();
    EXPECT_FALSE(RegisterUnit(L"QdPrinters", urKWPrinter, nullptr, nullptr)) << "registered under its name";
    const bool wasRunning = QdPrinter() != nullptr;
    QdPrinters_Initialize();
    ASSERT_NE(QdPrinter(), nullptr);
    if (!wasRunning) {
        EXPECT_EQ(QdPrinter()->HookedWindow(), app.Handle());
    }
    QdPrinters_Finalize();
    EXPECT_EQ(QdPrinter(), nullptr);
}
