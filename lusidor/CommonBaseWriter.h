// Adding measured probes to the common database (binary-dataset/CommonBase.h): one record per probe, the
// picture copied once into the picture folder, nothing added twice and nothing stored cut short.
#pragma once

#include "framework/Exception.h"
#include "framework/Geometry.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// The common database's folder or table could not be opened or written; the message says which and why.
LAB_DECLARE_EXCEPTION(ECommonBaseError, Exception);

// One probe with the picture and infection it belongs to, as the navigator holds it.
struct TProbeRecord {
    QString FileName; // the picture's file name in the image folder
    QString Infection;
    QString Name;
    QString Supplier;
    QString Patient;
    QString Note;
    QString Reaction;
    int64_t Value = 0;
    uint8_t Luminosity = 0;
    uint8_t Threshold = 0;
    TRect Rect;
    double Date = 0; // the framework's date-time in milliseconds: the date is taken from Date, the time
    double Time = 0; // of day from Time
};

class TCommonBaseWriter {
public:
    // Folder holds the table and the picture folder, ImageFolder the pictures the records name; both end
    // in "/". One writer serves a whole session of the program.
    TCommonBaseWriter(const QString& Folder, const QString& ImageFolder);

    // Adds Records in their order. A probe that this writer has once added or found in the table is never
    // added again, whatever became of its record since (deleted or corrected in the records viewer); one
    // that the table holds already is skipped too; one that the table cannot hold as it is, or whose
    // picture cannot be placed, is refused with its reasons. Creates the table when it is missing. Raises
    // ECommonBaseError when the folder or the table cannot be opened or a record cannot be written; the
    // table then holds whole records only, and the counts say what was done.
    void Add(const std::vector<TProbeRecord>& Records);

    // What the last Add did.
    int Added = 0;
    int AlreadyThere = 0;
    // One line per refused probe: "picture / infection / probe: reasons".
    QStringList Refused;

    // What makes a probe the same one: picture, infection, probe name, day number and milliseconds of the
    // day.
    struct TRecordKey {
        QString FileName;
        QString Infection;
        QString Name;
        int32_t Day = 0;
        int32_t MSecs = 0;
        friend bool operator==(const TRecordKey&, const TRecordKey&) = default;
        friend size_t qHash(const TRecordKey& Key, size_t Seed = 0) {
            return qHashMulti(Seed, Key.FileName, Key.Infection, Key.Name, Key.Day, Key.MSecs);
        }
    };

private:
    const QString Folder;
    const QString ImageFolder;
    QSet<TRecordKey> Stored; // the probes this writer has added or found in the table
};
