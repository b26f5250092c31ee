// Undo and redo: two bounded stacks of saved states (image copies in temporary files, the viewer's
// selection, objects and layers as memory streams). Restoring never pops: the caller drops the
// entry it restored.
#include <algorithm>

#include "picturaproc_component.h"

void TPicturaProc::TUndoStack::RemoveAt(int32_t Index) const {
    Entries.erase(Entries.begin() + Index);
    Sources.erase(Sources.begin() + Index);
    Captions.erase(Captions.begin() + Index);
}

void TPicturaProc::TUndoStack::Clear() const {
    // Newest first, so that the entries go in the reverse order of their making.
    while (!Entries.empty()) RemoveAt(Count() - 1);
}

std::unique_ptr<TObject> TPicturaProc::MakeEntry(TIEUndoSource Source) {
    TIEProcViewLink* view = FAttachedView;
    const bool pictura = view && view->IsPicturaView();
    const bool vect = view && view->IsPicturaVect();
    switch (Source) {
    case ieuImage: {
        if (!WorkBitmap || WorkBitmap->GetWidth() < 2 || WorkBitmap->GetHeight() < 2) return nullptr;
        auto copy = std::make_unique<TIEBitmap>();
        bool made;
        if (UndoLocation == ieFile) {
            // Whatever its size: a temporary file (the buffer's size rule is bypassed).
            copy->MinFileSize = 0;
            made = copy->AssignToFile(WorkBitmap);
        } else {
            // Memory or a system bitmap, by the buffer's own size rule.
            copy->SetLocation(UndoLocation);
            copy->Assign(WorkBitmap);
            made = !copy->IsEmpty();
        }
        // A copy that could not be stored would wipe the image when restored: no entry.
        if (!made) return nullptr;
        copy->LayerIndex = pictura ? view->GetLayersCurrent() : -1;
        return copy;
    }
    case ieuSelection: {
        if (!pictura) return nullptr;
        auto stream = std::make_unique<TMemoryStream>();
        view->WriteSelectionToStream(stream.get());
        return stream;
    }
    case ieuObject: {
        if (!vect) return nullptr;
        auto stream = std::make_unique<TMemoryStream>();
        view->SaveObjectsToStream(stream.get());
        return stream;
    }
    case ieuLayer:
    case ieuFullLayer: {
        if (!pictura) return nullptr;
        auto stream = std::make_unique<TMemoryStream>();
        const int32_t count = view->GetLayersCount(), current = view->GetLayersCurrent();
        for (int32_t i = 0; i < count; ++i)
            view->SaveLayerToStream(i, stream.get(), Source == ieuFullLayer && i == current);
        return stream;
    }
    case ieuObjectsAndLayers: {
        if (!pictura && !vect) return nullptr;
        auto stream = std::make_unique<TMemoryStream>();
        if (vect) view->SaveAllToStream(stream.get());
        else view->SaveLayersToStream(stream.get());
        return stream;
    }
    default:
        return nullptr;
    }
}

bool TPicturaProc::SaveState(const TUndoStack& Stack, TIEUndoSource Source, bool FireEvent) {
    // A negative limit switches saving off as 0 does (trimming could never reach it).
    if (UndoLimit <= 0) return false;
    if (Source == ieuImage && !PrepareBitmap(0)) return false;
    std::unique_ptr<TObject> entry = MakeEntry(Source);
    const bool pushed = entry != nullptr;
    if (pushed) {
        while (Stack.Count() >= UndoLimit) Stack.RemoveAt(0);
        Stack.Entries.push_back(std::move(entry));
        Stack.Sources.push_back(Source);
        Stack.Captions.emplace_back();
    }
    if (FireEvent && OnSaveUndo) OnSaveUndo(this, Source);
    return pushed;
}

void TPicturaProc::SaveStateCaptioned(const TUndoStack& Stack, const std::wstring& Caption, TIEUndoSource Source,
                                      bool FireEvent) {
    if (!PrepareBitmap(0)) return;
    if (WorkBitmap->GetWidth() < 2 || WorkBitmap->GetHeight() < 2) return;
    if (SaveState(Stack, Source, FireEvent)) Stack.Captions.back() = Caption;
}

void TPicturaProc::SaveUndo(TIEUndoSource Source) { SaveState(UndoStack(), Source, true); }

void TPicturaProc::SaveUndoCaptioned(const std::wstring& Caption, TIEUndoSource Source) {
    SaveStateCaptioned(UndoStack(), Caption, Source, true);
}

void TPicturaProc::SaveRedo(TIEUndoSource Source) { SaveState(RedoStack(), Source, false); }

void TPicturaProc::SaveRedoCaptioned(const std::wstring& Caption, TIEUndoSource Source) {
    SaveStateCaptioned(RedoStack(), Caption, Source, false);
}

bool TPicturaProc::CanUndo() { return !UndoList.empty(); }
bool TPicturaProc::CanRedo() { return !RedoList.empty(); }
int32_t TPicturaProc::GetUndoCount() { return UndoStack().Count(); }
int32_t TPicturaProc::GetRedoCount() { return RedoStack().Count(); }

namespace {

void CaptionAt(const std::vector<std::wstring>& Captions, int32_t Index, std::wstring& Caption) {
    const int32_t count = static_cast<int32_t>(Captions.size());
    if (Index < 0 || Index >= count) return;
    Caption = Captions[(size_t)(count - 1 - Index)];
}

}  // namespace

void TPicturaProc::GetUndoCaptions(int32_t Index, std::wstring& Caption) { CaptionAt(UndoCaptions, Index, Caption); }
void TPicturaProc::GetRedoCaptions(int32_t Index, std::wstring& Caption) { CaptionAt(RedoCaptions, Index, Caption); }

TIEUndoSource TPicturaProc::GetUndoSource(int32_t Index) {
    if (Index < 0 || Index >= UndoStack().Count()) return ieuUnknown;
    return UndoSources[(size_t)Index];
}

void TPicturaProc::ClearUndo() {
    if (!UndoList.empty()) UndoStack().RemoveAt(UndoStack().Count() - 1);
}

void TPicturaProc::ClearRedo() {
    if (!RedoList.empty()) RedoStack().RemoveAt(RedoStack().Count() - 1);
}

void TPicturaProc::ClearUndoAt(int32_t Position) {
    const int32_t count = UndoStack().Count();
    if (Position < 0 || Position >= count) return;
    UndoStack().RemoveAt(count - 1 - Position);
}

void TPicturaProc::ClearAllUndo() { UndoStack().Clear(); }
void TPicturaProc::ClearAllRedo() { RedoStack().Clear(); }

void TPicturaProc::Undo(bool AddRedo) { UndoAt(0, AddRedo); }
void TPicturaProc::UndoAt(int32_t Position, bool AddRedo) { RestoreEntry(UndoStack(), Position, AddRedo); }
void TPicturaProc::Redo() { RedoAt(0); }
void TPicturaProc::RedoAt(int32_t Position) { RestoreEntry(RedoStack(), Position, false); }

void TPicturaProc::RestoreEntry(const TUndoStack& Stack, int32_t Position, bool AddRedo) {
    if (!PrepareBitmap(0)) return;
    if (Position < 0 || Position >= Stack.Count()) return;
    const size_t index = (size_t)(Stack.Count() - Position - 1);
    const TIEUndoSource source = Stack.Sources[index];
    // The entry is held by address: saving the redo state never touches this stack.
    TObject* entry = Stack.Entries[index].get();
    if (AddRedo) SaveRedo(source);
    TIEProcViewLink* view = FAttachedView;
    const bool pictura = view && view->IsPicturaView();
    switch (source) {
    case ieuImage: {
        auto* copy = static_cast<TIEBitmap*>(entry);
        TIEBitmap* target = WorkBitmap;
        if (pictura && copy->LayerIndex >= 0) {
            const int32_t layer = std::min(std::max(copy->LayerIndex, 0), view->GetLayersCount() - 1);
            if (layer >= 0) target = view->GetLayerBitmap(layer);
        }
        if (!target) return;
        target->Assign(copy);
        Update();
        break;
    }
    case ieuSelection:
        if (!pictura) return;
        static_cast<TStream*>(entry)->SetPosition(0);
        view->ReadSelectionFromStream(static_cast<TStream*>(entry), 1);
        break;
    case ieuObject:
        if (!view || !view->IsPicturaVect()) return;
        static_cast<TStream*>(entry)->SetPosition(0);
        view->LoadObjectsFromStream(static_cast<TStream*>(entry));
        break;
    case ieuLayer:
    case ieuFullLayer:
        if (!pictura) return;
        RestoreLayers(static_cast<TStream*>(entry));
        break;
    case ieuObjectsAndLayers:
        if (!view) return;
        static_cast<TStream*>(entry)->SetPosition(0);
        if (view->IsPicturaVect()) view->LoadAllFromStream(static_cast<TStream*>(entry));
        else if (pictura) view->LoadLayersFromStream(static_cast<TStream*>(entry));
        break;
    default:
        break;
    }
}

// Each record: its Integer length (counting the whole record), the layer's 16-byte GUID, the rest.
// A record whose layer still exists is read by that layer; the others are skipped. A record too
// short to hold its own header ends the walk (the stream would otherwise never advance).
void TPicturaProc::RestoreLayers(TStream* Stream) {
    const int64_t size = Stream->GetSize();
    Stream->SetPosition(0);
    constexpr int64_t kHeader = 4 + 16;
    while (Stream->GetPosition() < size) {
        const int64_t start = Stream->GetPosition();
        int32_t length = 0;
        uint8_t guid[16];
        if (size - start < kHeader || Stream->Read(&length, 4) != 4 || Stream->Read(guid, 16) != 16) break;
        if (length < kHeader) break;
        const int32_t layer = FAttachedView->FindLayerByGUID(guid);
        if (layer >= 0) {
            Stream->SetPosition(start);
            FAttachedView->LoadLayerFromStream(layer, Stream);
            if (Stream->GetPosition() > start) continue;
        }
        Stream->SetPosition(start + length);
    }
    FAttachedView->Update();
}
