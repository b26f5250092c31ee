// The temporary files of the image-processing component's undo copies, counted in a scratch
// folder (on Windows they have names until they are closed): one per copy and one per alpha
// channel, gone with a trimmed, cleared or popped entry, with the component, and after an
// operation that raised.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "TestSupport.h"
#include "picturaproc_component.h"

namespace {

class TempFiles {
public:
    TempFiles() : FDir(L"ProcUndo_") { IETempFolder = FDir.Path(); }
    ~TempFiles() { IETempFolder.clear(); }
    size_t Count() const { return testsupport::ListFolder(FDir.Path()).size(); }

private:
    testsupport::TScratchDir FDir;
};

}  // namespace

TEST(TPicturaProcUndoFiles, EveryCopyGoesWithItsEntry) {
    TempFiles files;
    TIEBitmap bmp(6, 4, ie24RGB);
    bmp.Fill(0);
    auto proc = TPicturaProc::CreateFromBitmap(&bmp);
    proc->UndoLimit = 3;
    for (int32_t i = 0; i < 5; ++i) proc->SaveUndo(ieuImage);
    EXPECT_EQ(files.Count(), 3u);   // the two oldest were trimmed with their files
    bmp.SetAlpha(0, 0, 9);
    proc->SaveUndo(ieuImage);
    EXPECT_EQ(files.Count(), 4u);   // the newest has its alpha channel in a file of its own
    proc->Undo(true);
    EXPECT_EQ(files.Count(), 6u);   // the redo entry
    proc->ClearUndo();
    proc->ClearUndoAt(1);
    EXPECT_EQ(files.Count(), 3u);
    proc->ClearAllRedo();
    EXPECT_EQ(files.Count(), 1u);
    proc.reset();
    EXPECT_EQ(files.Count(), 0u);

    // Copies asked in memory make no file.
    proc = TPicturaProc::CreateFromBitmap(&bmp);
    proc->UndoLocation = ieMemory;
    proc->SaveUndo(ieuImage);
    EXPECT_EQ(proc->GetUndoCount(), 1);
    EXPECT_EQ(files.Count(), 0u);
}

// An operation that raises after its undo entry was made keeps the entry; its file goes with the
// component.
TEST(TPicturaProcUndoFiles, FilesGoAfterAnOperationRaised) {
    TempFiles files;
    TIEBitmap bmp(8, 8, ie24RGB);
    {
        TComponent owner(nullptr);
        auto* proc = new TPicturaProc(&owner);
        proc->SetAttachedIEBitmap(&bmp);
        proc->OnProgress = [](TObject*, int32_t) { throw std::runtime_error("stop"); };
        EXPECT_THROW(proc->Fill(TIERGB{1, 2, 3}), std::runtime_error);
        EXPECT_EQ(proc->GetUndoCount(), 1);
        EXPECT_EQ(files.Count(), 1u);
    }
    EXPECT_EQ(files.Count(), 0u);
}
