// The viewer's video messages: a frame or event message fires the view's handler only for a graph
// that is connected; a frame handler runs with the graph's frame messages paused.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "iedshow.h"
#include "picturaview.h"
#include "picturaview_control.h"

namespace {
struct TMessageView : TPicturaView {
    using TPicturaView::TPicturaView;
    using TPicturaView::Dispatch;
};
}  // namespace

TEST(PicturaViewVideo, MessagesOfAGraphWithoutAFilterGraphFireNothing) {
    auto view = std::make_unique<TMessageView>(nullptr);
    int32_t frames = 0, events = 0;
    view->OnDShowNewFrame = [&](TObject*) { ++frames; };
    view->OnDShowEvent = [&](TObject*) { ++events; };
    TIEDirectShow graph;
    for (LPARAM sender : {LPARAM(0), reinterpret_cast<LPARAM>(&graph)}) {
        TMessage frame{IEMSG_DSHOW_FRAME, 0, sender, 0};
        view->Dispatch(frame);
        TMessage event{IEMSG_DSHOW_EVENT, 0, sender, 0};
        view->Dispatch(event);
    }
    EXPECT_EQ(frames, 0);
    EXPECT_EQ(events, 0);
    EXPECT_TRUE(graph.FrameNotify);
}
