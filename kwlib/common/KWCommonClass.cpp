#include "KWCommonClass.h"

#include <algorithm>
#include <atomic>

namespace {

const wchar_t SigSortedListCreate[] = L"TKWSortedList.Create(AOnCompare: TListSortCompare)";
const wchar_t SigSortedListAdd[] = L"TKWSortedList.Add(AItem: Pointer): Integer";
const wchar_t SigSortedListForceAdd[] = L"TKWSortedList.ForceAdd(AItem: Pointer; AIndex: Integer)";
const wchar_t SigSortedListDelete[] = L"TKWSortedList.Delete(AIndex: Integer)";
const wchar_t SigSetCapacity[] = L"TKWProperties.SetCapacity(AValue: Integer)";
const wchar_t SigFindItem[] =
    L"TKWProperties.FindItem(AKey: String; var AIndex: Integer; AClassType: TKWPropertyClass): TKWProperty";
const wchar_t SigSetObject[] = L"SetObject(AKey: String; AValue: TObject; AClassType: TClass)";
const wchar_t SigGetObject[] = L"TKWProperties.GetObject(AKey: String; AClassType: TClass; ADefault: Pointer): Pointer";
const wchar_t ClassTypeNotMatch[] = L"class type is not match.";

// The class library's largest list and its capacity error.
constexpr int32_t MaxListSize = 0x7FFFFFFF / 16;
const wchar_t SListCapacityError[] = L"List capacity out of bounds (%d)";

int CompareKeys(const std::wstring& A, const std::wstring& B, bool ACaseSensitive) {
    return CompareLocaleStrings(A, B, ACaseSensitive);
}

int CompareKeysCaseSensitive(void* Item1, void* Item2) {
    return CompareKeys(static_cast<TKWProperty*>(Item1)->Key, static_cast<TKWProperty*>(Item2)->Key, true);
}

int CompareKeysIgnoreCase(void* Item1, void* Item2) {
    return CompareKeys(static_cast<TKWProperty*>(Item1)->Key, static_cast<TKWProperty*>(Item2)->Key, false);
}

std::atomic<IKWApplication*> RegisteredApplication{nullptr};

}  // namespace

// ---- TKWSortedList ---------------------------------------------------------------------------

TKWSortedList::TKWSortedList(TListSortCompare AOnCompare) : OnCompare(std::move(AOnCompare)) {
    if (!OnCompare) throw EKWException(L"OnCompare Function is not assigned.", SigSortedListCreate);
}

int32_t TKWSortedList::Add(void* AItem) {
    int32_t low = 0, high = GetCount() - 1;
    while (low <= high) {
        const int32_t mid = (low + high) / 2;
        const int r = OnCompare(FItems[mid], AItem);
        if (r < 0)
            low = mid + 1;
        else if (r > 0)
            high = mid - 1;
        else
            throw EKWException(L"", SigSortedListAdd);
    }
    FItems.insert(FItems.begin() + low, AItem);
    return low;
}

void TKWSortedList::ForceAdd(void* AItem, int32_t AIndex) {
    try {
        if (AIndex < 0 || AIndex > GetCount()) throw EListError(Format(SListIndexError, AIndex));
        FItems.insert(FItems.begin() + AIndex, AItem);
    } catch (const std::exception& e) {
        throw EKWException(L"Insert Failed", SigSortedListForceAdd, &e);
    }
}

void TKWSortedList::Delete(int32_t AIndex) {
    if (AIndex < 0 || AIndex >= GetCount()) throw EKWException(L"index is wrong", SigSortedListDelete);
    FItems.erase(FItems.begin() + AIndex);
}

void TKWSortedList::Clear() {
    std::vector<void*>().swap(FItems);
}

void TKWSortedList::Resort() {
    std::vector<void*> kept;
    kept.swap(FItems);
    for (void* item : kept) Add(item);
}

void* TKWSortedList::GetItems(int32_t AIndex) const {
    if (AIndex < 0 || AIndex >= GetCount()) throw EListError(Format(SListIndexError, AIndex));
    return FItems[AIndex];
}

void TKWSortedList::SetCapacity(int32_t AValue) {
    if (AValue < GetCount() || AValue > MaxListSize) throw EListError(Format(SListCapacityError, AValue));
    if (size_t(AValue) > FItems.capacity()) {
        FItems.reserve(size_t(AValue));
    } else if (size_t(AValue) < FItems.capacity()) {
        std::vector<void*> smaller;
        smaller.reserve(size_t(AValue));
        smaller.assign(FItems.begin(), FItems.end());
        FItems.swap(smaller);
    }
}

// ---- TKWProperties ---------------------------------------------------------------------------

TKWProperties::TKWProperties() : List(std::make_unique<TKWSortedList>(CompareKeysIgnoreCase)) {}

TKWProperties::~TKWProperties() {
    Clear();
}

std::wstring TKWProperties::GetKey(int32_t AIndex) const {
    return GetItem(AIndex)->Key;
}

// A failed re-sort would leave the entries that were not re-inserted outside the list, where
// nothing frees them and no lookup finds them; the store keeps its previous rule and order instead.
void TKWProperties::SetCaseSensitive(bool AValue) {
    if (AValue == FCaseSensitive) return;
    std::vector<void*> previous;
    for (int32_t i = 0; i < List->GetCount(); ++i) previous.push_back(List->GetItems(i));
    TListSortCompare previousCompare = List->OnCompare;
    FCaseSensitive = AValue;
    List->OnCompare = AValue ? CompareKeysCaseSensitive : CompareKeysIgnoreCase;
    try {
        List->Resort();
    } catch (...) {
        FCaseSensitive = !AValue;
        List->OnCompare = previousCompare;
        List->Clear();
        for (size_t i = 0; i < previous.size(); ++i) List->ForceAdd(previous[i], int32_t(i));
        throw;
    }
}

void TKWProperties::SetCapacity(int32_t AValue) {
    try {
        List->SetCapacity(AValue);
    } catch (const std::exception& e) {
        throw EKWException(L"Set Capacity Failed:Add Avalue is " + IntToStr(AValue), SigSetCapacity, &e);
    }
}

TKWProperty* TKWProperties::FindItem(const std::wstring& AKey, int32_t& AIndex, TKWPropertyClass AClassType) {
    int32_t low = 0, high = List->GetCount() - 1;
    while (low <= high) {
        const int32_t mid = (low + high) / 2;
        TKWProperty* entry = GetItem(mid);
        const int r = CompareKeys(entry->Key, AKey, FCaseSensitive);
        if (r < 0) {
            low = mid + 1;
        } else if (r > 0) {
            high = mid - 1;
        } else {
            AIndex = mid;
            if (AClassType && !AClassType(entry)) throw EKWException(ClassTypeNotMatch, SigFindItem);
            return entry;
        }
    }
    AIndex = low;
    return nullptr;
}

TKWProperty* TKWProperties::Find(const std::wstring& AKey, TKWPropertyClass AClassType) {
    int32_t index;
    return FindItem(AKey, index, AClassType);
}

void TKWProperties::InsertNew(std::unique_ptr<TKWProperty> AEntry, int32_t AIndex) {
    AEntry->No = NextNo;
    List->ForceAdd(AEntry.get(), AIndex);
    AEntry.release();
    IncNextPropertyNo();
}

void TKWProperties::SetString(const std::wstring& AKey, const std::wstring& AValue) {
    int32_t index;
    if (auto* entry = static_cast<TKWStringProperty*>(FindItem(AKey, index, KWClassOf<TKWStringProperty>))) {
        entry->Value = AValue;
        return;
    }
    auto entry = std::make_unique<TKWStringProperty>();
    entry->Key = AKey;
    entry->Value = AValue;
    InsertNew(std::move(entry), index);
}

bool TKWProperties::TryGetString(const std::wstring& AKey, std::wstring& AValue) {
    AValue.clear();
    auto* entry = static_cast<TKWStringProperty*>(Find(AKey, KWClassOf<TKWStringProperty>));
    if (!entry) return false;
    AValue = entry->Value;
    return true;
}

std::wstring TKWProperties::GetString(const std::wstring& AKey, const std::wstring& ADefault) {
    std::wstring value;
    return TryGetString(AKey, value) ? value : ADefault;
}

void TKWProperties::SetObject(const std::wstring& AKey, TObject* AValue, TKWClassTest AClassType) {
    if (AValue && AClassType && !AClassType(AValue)) throw EKWException(ClassTypeNotMatch, SigSetObject);
    int32_t index;
    if (auto* entry = static_cast<TKWObjectProperty*>(FindItem(AKey, index, KWClassOf<TKWObjectProperty>))) {
        entry->Value = AValue;
        return;
    }
    auto entry = std::make_unique<TKWObjectProperty>();
    entry->Key = AKey;
    entry->Value = AValue;
    InsertNew(std::move(entry), index);
}

bool TKWProperties::TryGetObject(const std::wstring& AKey, TKWClassTest AClassType, TObject*& AValue) {
    AValue = nullptr;
    auto* entry = static_cast<TKWObjectProperty*>(Find(AKey, KWClassOf<TKWObjectProperty>));
    if (!entry) return false;
    if (entry->Value && AClassType && !AClassType(entry->Value)) throw EKWException(ClassTypeNotMatch, SigGetObject);
    AValue = entry->Value;
    return true;
}

TObject* TKWProperties::GetObject(const std::wstring& AKey, TKWClassTest AClassType, TObject* ADefault) {
    TObject* value;
    return TryGetObject(AKey, AClassType, value) ? value : ADefault;
}

TObject* TKWProperties::GetObjectAt(int32_t AIndex, TKWClassTest AClassType, TObject* ADefault) {
    return GetObject(GetKey(AIndex), AClassType, ADefault);
}

void TKWProperties::DeleteKey(const std::wstring& AKey) {
    int32_t index;
    if (FindItem(AKey, index, nullptr)) DeleteAt(index);
}

void TKWProperties::DeleteAt(int32_t AIndex) {
    std::unique_ptr<TKWProperty> entry(GetItem(AIndex));
    List->Delete(AIndex);
}

void TKWProperties::Clear() {
    for (int32_t i = 0; i < List->GetCount(); ++i) delete GetItem(i);
    List->Clear();
    NextNo = 0;
}

std::vector<TKWProperty*> TKWProperties::GetOrderedList() const {
    std::vector<TKWProperty*> ordered;
    ordered.reserve(size_t(List->GetCount()));
    for (int32_t i = 0; i < List->GetCount(); ++i) ordered.push_back(GetItem(i));
    std::sort(ordered.begin(), ordered.end(), [](const TKWProperty* A, const TKWProperty* B) { return A->No < B->No; });
    return ordered;
}

void TKWProperties::IncNextPropertyNo() {
    if (NextNo != 0xFFFFFFFFu) {
        ++NextNo;
        return;
    }
    const std::vector<TKWProperty*> ordered = GetOrderedList();
    for (size_t i = 0; i < ordered.size(); ++i) ordered[i]->No = uint32_t(i);
    List->Clear();
    for (TKWProperty* entry : ordered) List->Add(entry);
    NextNo = uint32_t(ordered.size());
}

// ---- The message-loop step -------------------------------------------------------------------

void KWSetApplication(IKWApplication* AApplication) { RegisteredApplication = AApplication; }
IKWApplication* KWGetApplication() { return RegisteredApplication; }
