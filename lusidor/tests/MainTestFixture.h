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

// The main window shown with its image folder, and pictures written there by the library's BMP writer and
// opened into the navigator.
class NavigatorTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        PictMouse = TPictMouseState();
    }

    QString Images() const { return Folder() + "IMAGES/"; }

    // The main window shown in Mode, with its image folder made.
    TForm1& Start(int Mode = TForm1::ImageProcessingMode) {
        QDir(Folder()).mkpath("IMAGES");
        TForm1& form = Make();
        form.resize(1000, 700);
        form.show();
        // The first activation sets the mode from the settings; the test's own comes after it.
        QCoreApplication::processEvents();
        form.SetMode(Mode);
        return form;
    }

    // A picture of Width x Height in format BitCountNum, written by the library's BMP writer to Path.
    // Paletted pictures use every entry of a standard table, 24-bit ones a colour gradient.
    static void WritePicture(const QString& Path, uint8_t BitCountNum, int Width = 7, int Height = 5) {
        TPixelGraphic picture;
        picture.SetFormat(Width, Height, BitCountNum);
        static const TPaletteIdent tables[] = {pBlackWhite, pSys16, pGray256};
        static const uint32_t entries[] = {2, 16, 256};
        if (BitCountNum < 3)
            picture.SetPaletteIdent(tables[BitCountNum]);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                const uint32_t n = uint32_t(y * Width + x) * 37u;
                if (BitCountNum < 3)
                    picture.SetPixelValue(x, y, n % entries[BitCountNum]);
                else
                    picture.SetPixelColor(x, y, RGB(uint8_t(n), uint8_t(x * 30), uint8_t(y * 50)));
            }
        picture.SaveToFile(Path);
    }

    // The record of the opened picture, or null when it was not opened.
    TPict* Open(const QString& Name, uint8_t BitCountNum = 3, int Width = 7, int Height = 5) {
        WritePicture(Images() + Name, BitCountNum, Width, Height);
        Form->OpenImageFile(Images() + Name);
        const int index = Form->Base->IndexOf(Name);
        return index >= 0 ? Form->Base->Items(index) : nullptr;
    }

    // Runs deferred deletions, as the event loop would after a handler.
    static void Settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
};
