// KWSharePicture: a non-visual store of named pictures that painted panels take their background
// from by ID, so that one picture serves several panels. Panels register with the store and are
// repainted whenever one of its pictures changes.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "Graphics.h"

class TKWSharePicture;
class TspPictures;

// One named picture of the store.
class TspPicture : public TPersistent {
public:
    KW_CLASS_NAME(TspPicture)
    explicit TspPicture(TspPictures* ACollection);
    ~TspPicture() override;

    TspPictures* Collection() const { return FCollection; }
    int32_t Index() const;

    std::wstring ID;
    const std::wstring& DisplayName() const { return FDisplayName; }
    // A different name is stored and the item reports itself changed to its collection.
    void SetDisplayName(const std::wstring& AValue);
    TPicture* Picture() const { return FPicture.get(); }
    // Copies the given picture into the item's own (nothing when it is that object) and makes
    // its graphic non-transparent.
    void SetPicture(const TPicture* AValue);

private:
    friend class TspPictures;
    void PictureChanged(TObject* Sender);
    TspPictures* FCollection;
    std::wstring FDisplayName;
    std::unique_ptr<TPicture> FPicture;
};

// The store's pictures in order; it knows the store that owns it.
class TspPictures : public TPersistent {
public:
    KW_CLASS_NAME(TspPictures)
    explicit TspPictures(TKWSharePicture* AOwner) : FOwner(AOwner) {}
    ~TspPictures() override;

    TKWSharePicture* Owner() const { return FOwner; }
    int32_t Count() const { return (int32_t)FItems.size(); }
    // Raises EListError for a bad index.
    TspPicture* Items(int32_t AIndex) const;
    TspPicture* Add();
    void Delete(int32_t AIndex);
    void Clear();
    int32_t IndexOf(const TspPicture* AItem) const;

    // The picture of the first item whose ID equals AID without regard to case, or nullptr.
    TPicture* FindPicture(const std::wstring& AID) const;
    // Some item with that ID holds a picture of non-zero width and height.
    bool HasPicture(const std::wstring& AID) const;

protected:
    friend class TspPicture;
    // An item reports that it changed (its name); nothing needs repainting for that.
    virtual void Update(TspPicture* AItem) {}
    // One of the items' pictures changed.
    void PictureChanged(TspPicture* AItem);

private:
    TKWSharePicture* FOwner;
    std::vector<std::unique_ptr<TspPicture>> FItems;
};

class TKWSharePicture : public TComponent {
public:
    KW_CLASS_NAME(TKWSharePicture)
    explicit TKWSharePicture(TComponent* AOwner);
    ~TKWSharePicture() override;

    TspPictures* Pictures() const { return FPictures.get(); }

    // Adds the client unless it is registered already.
    void RegisterClient(TComponent* AControl);
    void UnregisterClient(TComponent* AControl);
    int32_t ClientCount() const { return (int32_t)FClients.size(); }

protected:
    friend class TspPictures;
    // Invalidates every registered client that is a control, in registration order.
    void PicturesChanged();

private:
    std::unique_ptr<TspPictures> FPictures;
    std::vector<TComponent*> FClients;
};
