// General building blocks of the in-house library: a sorted list with binary-search insertion, a
// keyed property store that also lists its entries in insertion order, and one step of the
// application's message loop. Every error is raised as EKWException.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "KWException.h"

struct tagMSG;   // the system's MSG

// The ordering function of a sorted list: negative, zero or positive as Item1 sorts before, equal to
// or after Item2.
using TListSortCompare = std::function<int(void* Item1, void* Item2)>;

// A class reference, in C++ the test "is this object of the class or a descendant of it".
// nullptr means "no class given". KWClassOf<T> is the test for class T.
using TKWClassTest = bool (*)(const TObject* AObject);
template <class T>
bool KWClassOf(const TObject* AObject) {
    return dynamic_cast<const T*>(AObject) != nullptr;
}

// ---- TKWSortedList ---------------------------------------------------------------------------

// Untyped item references, ascending under OnCompare, no two equal. The list never owns its items.
class TKWSortedList {
public:
    // Raises when AOnCompare is empty.
    explicit TKWSortedList(TListSortCompare AOnCompare);

    // Binary-search insertion; the index at which AItem now stands. An item equal to one already
    // present raises (with an empty message) and leaves the list unchanged.
    int32_t Add(void* AItem);
    // Inserts at AIndex without comparing (the caller found the place by its own search).
    void ForceAdd(void* AItem, int32_t AIndex);
    // Removes the reference at AIndex; the item is not freed.
    void Delete(int32_t AIndex);
    // Empties the list and releases its storage.
    void Clear();
    // Re-establishes the order after OnCompare was replaced: every item is added again, in its
    // stored order. Items that become equal make Add raise its duplicate error.
    void Resort();

    int32_t GetCount() const { return int32_t(FItems.size()); }
    // Raises EListError for an index outside the list.
    void* GetItems(int32_t AIndex) const;
    int32_t GetCapacity() const { return int32_t(FItems.capacity()); }
    // Raises EListError for a capacity below the count or beyond the largest list.
    void SetCapacity(int32_t AValue);

    TListSortCompare OnCompare;

private:
    std::vector<void*> FItems;
};

// ---- Property entries ------------------------------------------------------------------------

class TKWProperty : public TObject {
public:
    KW_CLASS_NAME(TKWProperty)
    uint32_t No = 0;   // insertion number
    std::wstring Key;
};

// Refers to an object it does not own.
class TKWObjectProperty : public TKWProperty {
public:
    KW_CLASS_NAME(TKWObjectProperty)
    TObject* Value = nullptr;
};

class TKWStringProperty : public TKWProperty {
public:
    KW_CLASS_NAME(TKWStringProperty)
    std::wstring Value;
};

// Which kind of entry a lookup expects: KWClassOf<TKWStringProperty>, KWClassOf<TKWObjectProperty>,
// or nullptr for any.
using TKWPropertyClass = TKWClassTest;

// ---- TKWProperties ---------------------------------------------------------------------------

// Entries found by key in sorted order (keys compared by CompareStringW in the user's default
// locale, ignoring case unless CaseSensitive), and listed on demand in the order of their first
// insertion. String and object entries share one key space. The store owns its entries, never the
// objects they refer to.
class TKWProperties {
public:
    TKWProperties();
    ~TKWProperties();
    TKWProperties(const TKWProperties&) = delete;
    TKWProperties& operator=(const TKWProperties&) = delete;

    int32_t GetCount() const { return List->GetCount(); }
    // The key of the entry at a sorted index (EListError outside the list).
    std::wstring GetKey(int32_t AIndex) const;
    TKWProperty* GetItem(int32_t AIndex) const { return static_cast<TKWProperty*>(List->GetItems(AIndex)); }

    bool GetCaseSensitive() const { return FCaseSensitive; }
    // Re-sorts under the new rule. When two keys become equal it raises the duplicate error and
    // the store keeps its previous rule and order.
    void SetCaseSensitive(bool AValue);
    int32_t GetCapacity() const { return List->GetCapacity(); }
    void SetCapacity(int32_t AValue);

    // Found: AIndex is the entry's index; an entry not of AClassType raises. Not found: nullptr,
    // and AIndex is where the key would be inserted.
    TKWProperty* FindItem(const std::wstring& AKey, int32_t& AIndex, TKWPropertyClass AClassType);
    TKWProperty* Find(const std::wstring& AKey, TKWPropertyClass AClassType);

    void SetString(const std::wstring& AKey, const std::wstring& AValue);
    bool TryGetString(const std::wstring& AKey, std::wstring& AValue);
    std::wstring GetString(const std::wstring& AKey, const std::wstring& ADefault);

    // AValue not of AClassType (when both are given) raises before the store is touched.
    void SetObject(const std::wstring& AKey, TObject* AValue, TKWClassTest AClassType);
    // A stored object not of AClassType (when both are given) raises.
    bool TryGetObject(const std::wstring& AKey, TKWClassTest AClassType, TObject*& AValue);
    TObject* GetObject(const std::wstring& AKey, TKWClassTest AClassType, TObject* ADefault);
    TObject* GetObjectAt(int32_t AIndex, TKWClassTest AClassType, TObject* ADefault);

    // Deletes the entry of AKey, of any kind, when present.
    void DeleteKey(const std::wstring& AKey);
    // Removes and frees the entry at a sorted index.
    void DeleteAt(int32_t AIndex);
    // Frees every entry and restarts the numbering at 0.
    void Clear();
    // The entries in insertion order (ascending No); they stay owned by the store.
    std::vector<TKWProperty*> GetOrderedList() const;
    // Called after every insertion of a new entry: the next number, or, when the entry just added
    // took 4294967295, every entry renumbered from 0 in insertion order.
    void IncNextPropertyNo();

    // The number that the next new entry receives.
    uint32_t NextNo = 0;
    std::unique_ptr<TKWSortedList> List;

private:
    void InsertNew(std::unique_ptr<TKWProperty> AEntry, int32_t AIndex);
    bool FCaseSensitive = false;
};

// ---- The message-loop step -------------------------------------------------------------------

// What one step of the message loop asks of the application object. The visual layer's
// application implements it; the tests that return true claim the message.
class IKWApplication {
public:
    // The application's OnMessage event, when one is assigned; it may set AHandled.
    virtual void DoOnMessage(tagMSG& AMsg, bool& AHandled) = 0;
    virtual bool IsPreProcessMessage(tagMSG& AMsg) = 0;
    virtual bool IsHintMsg(tagMSG& AMsg) = 0;
    virtual bool IsMDIMsg(tagMSG& AMsg) = 0;
    virtual bool IsKeyMsg(tagMSG& AMsg) = 0;
    virtual bool IsDlgMsg(tagMSG& AMsg) = 0;

protected:
    ~IKWApplication() = default;
};

// The application object that the one-argument step uses (nullptr: none).
void KWSetApplication(IKWApplication* AApplication);
IKWApplication* KWGetApplication();

// Takes and handles the next queued message of this thread. False when none was queued or it is
// WM_QUIT (which stays queued). With AApplication nullptr the message is only translated and
// dispatched.
bool KWHandleOneMessage(IKWApplication* AApplication, tagMSG& AMsg);
// The same with the registered application object.
bool KWHandleOneMessage(tagMSG& AMsg);
