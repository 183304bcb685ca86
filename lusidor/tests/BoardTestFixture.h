// What the driver's tests share: a fake clock, ports of the test's choosing on a board at 0x300, the
// driver's error messages collected instead of shown, and settings files in a temporary folder.
#pragma once

#include "framework/testing/FakeClock.h"
#include "lusidor/vs_drv.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

struct TBoardReport {
    QString Text;
    bool Terminate;
};

class BoardTestFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SetBoardErrorHandler([this](const QString& text, bool terminate) {
            Reports.push_back({text, terminate});
        });
        ASSERT_TRUE(SetUpPortMap("300"));
        CameraSettings = TCameraSettings();
    }
    void TearDown() override {
        SetBoardPorts(nullptr);
        SetBoardErrorHandler({});
    }

    // Hands `ports` to the driver and keeps a pointer for the test to inspect them.
    template <class Ports> Ports* Install(std::unique_ptr<Ports> ports) {
        Ports* kept = ports.get();
        SetBoardPorts(std::move(ports));
        return kept;
    }

    QString WriteSettings(const QByteArray& content) {
        const QString path = Folder.filePath("Lusidor.ini");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    FakeClock Clock;
    std::vector<TBoardReport> Reports;
    QTemporaryDir Folder;
};
