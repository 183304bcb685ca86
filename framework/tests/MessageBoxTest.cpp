#include "framework/MessageBox.h"
#include "framework/testing/CaptionFit.h"
#include "framework/testing/MessageBoxSpy.h"
#include "framework/testing/ModalDialogs.h"

#include <QLabel>
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

TEST(MessageBox, DefaultBoxWrapsALongPathInsideItselfAndShowsItsTextUnchanged) {
    const auto previous = SetMessageBoxHandler({});
    const QString text = "Stream write error: \"/home/user/IMAGES/" +
                         QString("Очень_длинное_имя_").repeated(8) + ".bmp\". File name too long";
    WhileDialogRuns([&] { MessageBox(text, "Ошибка", mtError); },
                    [&](QWidget* modal) {
                        ASSERT_NE(modal, nullptr);
                        EXPECT_EQ(ClippedCaptions(*modal), std::vector<std::string>());
                        const auto* label = modal->findChild<QLabel*>("qt_msgbox_label");
                        ASSERT_NE(label, nullptr);
                        EXPECT_EQ(label->text().remove(QChar(0x200B)), text);
                    });
    SetMessageBoxHandler(previous);
}
