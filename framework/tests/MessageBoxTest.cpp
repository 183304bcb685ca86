#include "framework/MessageBox.h"
#include "framework/testing/MessageBoxSpy.h"

#include <gtest/gtest.h>
#include <thread>

TEST(MessageBox, InstalledHandlerSeesTheRequestAndAnswers) {
    MessageBoxSpy spy(mrYes);
    EXPECT_EQ(MessageBox("Удалить?", "Вопрос", mtConfirmation, mbYes | mbNo), mrYes);
    ASSERT_EQ(spy.Requests.size(), 1u);
    EXPECT_EQ(spy.Requests[0].Text, "Удалить?");
    EXPECT_EQ(spy.Requests[0].Caption, "Вопрос");
    EXPECT_EQ(spy.Requests[0].Buttons, mbYes | mbNo);
}

TEST(MessageBox, SpiesNestAndRestoreTheirPredecessor) {
    MessageBoxSpy outer(mrOk);
    {
        MessageBoxSpy inner(mrCancel);
        EXPECT_EQ(MessageBox("a", "b", mtWarning, mbOK | mbCancel), mrCancel);
    }
    EXPECT_EQ(MessageBox("a", "b", mtWarning, mbOK | mbCancel), mrOk);
    EXPECT_EQ(outer.Requests.size(), 1u);
}

TEST(MessageBox, DefaultBoxOffTheGuiThreadAnswersCautiouslyWithoutBlocking) {
    auto previous = SetMessageBoxHandler({});
    TModalResult answer = mrNone;
    std::thread worker([&] { answer = MessageBox("text", "Предупреждение", mtWarning, mbOK | mbCancel); });
    worker.join();
    SetMessageBoxHandler(previous);
    EXPECT_EQ(answer, mrCancel);
    EXPECT_EQ(CautiousAnswer(mbYes | mbNo), mrNo);
    EXPECT_EQ(CautiousAnswer(mbOK), mrOk);
}
