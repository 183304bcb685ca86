// Replacing a file through a save file: a write cut short, even the last one that only the commit's flush
// makes, leaves the old file as it was.
#include "framework/FileStreams.h"
#include "framework/testing/FileSizeLimit.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(FileStreams, AWriteCutShortByTheFileSizeLimitRaisesAndKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("old.txt");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old content");
    }
    QSaveFile file(path);
    OpenSaveFile(file);
    // Small enough to wait in the file's buffer until the commit.
    WriteBuffer(file, QByteArray(300, 'x').constData(), 300);
    {
        const FileSizeLimit limit(64);
        EXPECT_THROW(CommitSaveFile(file), EWriteError);
    }
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "old content");
}
