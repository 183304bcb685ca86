// The main window built in a temporary program folder with its settings file, the simulated bus and a
// message-box spy: the fixture that every test of the program's windows starts from.
#pragma once

#include "Main.h"
#include "PicForm.h"
#include "framework/testing/FakeClock.h"
#include "framework/testing/MessageBoxSpy.h"
#include "framework/testing/RecordingPort.h"
#include "image-library/PGraphic.h"
#include "vs_drv.h"
#include "vs_options.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

inline const QByteArray standardSettings = "[System]\r\nBasePort=300\r\n\r\n[PATH]\r\nImages=IMAGES\\\r\n\r\n"
                                           "[Desktop]\r\nMode=0\r\n";

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        CameraSettings = TCameraSettings();
        CameraBusy = false;
        CameraStop = false;
        Port = new RecordingPort;
        SetBoardPorts(std::unique_ptr<PortAccess>(Port));
    }
    void TearDown() override {
        Form.reset();
        SetBoardPorts(nullptr);
    }

    QString Folder() const { return Dir.path() + "/"; }
    void Store(const QString& name, const QByteArray& content) {
        QFile file(Folder() + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QByteArray Stored(const QString& name = "Lusidor.ini") const {
        QFile file(Folder() + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    TForm1& Make(const QByteArray& settings = standardSettings) {
        Store("Lusidor.ini", settings);
        Form = std::make_unique<TForm1>(Folder());
        return *Form;
    }
    // A picture window as the navigator would open it.
    TPictForm* AddPicture() {
        auto* picture = new TPictForm;
        auto graphic = std::make_unique<TPixelGraphic>();
        graphic->SetFormat(20, 10, 3);
        picture->PGImage1->SetPixelGraphic(std::move(graphic));
        QMdiSubWindow* window = Form->MdiArea->addSubWindow(picture);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        Form->MdiArea->setActiveSubWindow(window);
        return picture;
    }
    // Runs Action inside the application's event loop, as the program's handlers run, and returns the
    // loop's exit code, or -1 when the program did not ask to end. (The application's own loop, because
    // after one exit() every other loop would end at once.)
    template <class F> int InLoop(F&& Action) {
        QTimer::singleShot(0, [&] {
            Action();
            QTimer::singleShot(0, [] { QCoreApplication::exit(-1); });
        });
        return QCoreApplication::exec();
    }
    QList<QMdiSubWindow*> Windows() const { return Form->MdiArea->subWindowList(); }

    QTemporaryDir Dir;
    FakeClock Clock{1000, 1};
    MessageBoxSpy Boxes;
    RecordingPort* Port = nullptr;
    std::unique_ptr<TForm1> Form;
};
