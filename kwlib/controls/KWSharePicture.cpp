#include "KWSharePicture.h"

#include <algorithm>

#include "Controls.h"
#include "KWCommonLib.h"

// ---------------------------------------------------------------------------------------------
// TspPicture
// ---------------------------------------------------------------------------------------------

TspPicture::TspPicture(TspPictures* ACollection)
    : ID(L"TspPicture"), FCollection(ACollection), FDisplayName(L"TspPicture"), FPicture(new TPicture) {
    FPicture->OnChange = [this](TObject* Sender) { PictureChanged(Sender); };
}

TspPicture::~TspPicture() { FPicture->OnChange = nullptr; }

int32_t TspPicture::Index() const { return FCollection ? FCollection->IndexOf(this) : -1; }

void TspPicture::SetDisplayName(const std::wstring& AValue) {
    if (FDisplayName == AValue) return;
    FDisplayName = AValue;
    if (FCollection) FCollection->Update(this);
}

void TspPicture::SetPicture(const TPicture* AValue) {
    if (AValue == FPicture.get()) return;
    FPicture->Assign(AValue);
    if (TGraphic* g = FPicture->Graphic()) g->SetTransparent(false);
}

void TspPicture::PictureChanged(TObject*) {
    if (FCollection) FCollection->PictureChanged(this);
}

// ---------------------------------------------------------------------------------------------
// TspPictures
// ---------------------------------------------------------------------------------------------

TspPictures::~TspPictures() {
    // Items leave quietly: the store is going away with them.
    for (auto& item : FItems) item->FCollection = nullptr;
}

TspPicture* TspPictures::Items(int32_t AIndex) const {
    if (AIndex < 0 || AIndex >= Count()) throw EListError(Format(SListIndexError, AIndex));
    return FItems[(size_t)AIndex].get();
}

TspPicture* TspPictures::Add() {
    FItems.emplace_back(new TspPicture(this));
    return FItems.back().get();
}

void TspPictures::Delete(int32_t AIndex) {
    Items(AIndex);   // index check
    std::unique_ptr<TspPicture> item = std::move(FItems[(size_t)AIndex]);
    FItems.erase(FItems.begin() + AIndex);
    item->FCollection = nullptr;
    PictureChanged(nullptr);
}

void TspPictures::Clear() {
    if (FItems.empty()) return;
    for (auto& item : FItems) item->FCollection = nullptr;
    FItems.clear();
    PictureChanged(nullptr);
}

int32_t TspPictures::IndexOf(const TspPicture* AItem) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == AItem) return (int32_t)i;
    return -1;
}

TPicture* TspPictures::FindPicture(const std::wstring& AID) const {
    for (auto& item : FItems)
        if (KWSameString(item->ID, AID, false, false)) return item->Picture();
    return nullptr;
}

bool TspPictures::HasPicture(const std::wstring& AID) const {
    for (auto& item : FItems) {
        if (!KWSameString(item->ID, AID, false, false)) continue;
        TPicture* p = item->Picture();
        if (p->Width() != 0 && p->Height() != 0) return true;
    }
    return false;
}

void TspPictures::PictureChanged(TspPicture*) {
    if (FOwner) FOwner->PicturesChanged();
}

// ---------------------------------------------------------------------------------------------
// TKWSharePicture
// ---------------------------------------------------------------------------------------------

TKWSharePicture::TKWSharePicture(TComponent* AOwner) : TComponent(AOwner), FPictures(new TspPictures(this)) {}

TKWSharePicture::~TKWSharePicture() {
    FClients.clear();
    FPictures.reset();
}

void TKWSharePicture::RegisterClient(TComponent* AControl) {
    if (!AControl) return;
    if (std::find(FClients.begin(), FClients.end(), AControl) == FClients.end()) FClients.push_back(AControl);
}

void TKWSharePicture::UnregisterClient(TComponent* AControl) {
    auto it = std::find(FClients.begin(), FClients.end(), AControl);
    if (it != FClients.end()) FClients.erase(it);
}

void TKWSharePicture::PicturesChanged() {
    // A copy: a client may leave the list while it repaints.
    const std::vector<TComponent*> clients = FClients;
    for (TComponent* c : clients)
        if (auto* control = dynamic_cast<TControl*>(c)) control->Invalidate();
}
