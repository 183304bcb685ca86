// The records table's layout and its creation, the one way both programs make it.
#include "binary-dataset/CommonBase.h"

#include "binary-dataset/TableFile.h"

#include <QFileInfo>

void AddRecordTableFields(TFieldDefs& Defs) {
    Defs.Add("FNAME", ftString, 40);
    Defs.Add("PROBA", ftInteger);
    Defs.Add("PROBANAME", ftString, 8);
    Defs.Add("INFECT", ftString, 20);
    Defs.Add("POSTAV", ftString, 20);
    Defs.Add("VALUE", ftSmallint);
    Defs.Add("BOLN", ftString, 20);
    Defs.Add("PRIM", ftString, 30);
    Defs.Add("TOP", ftSmallint);
    Defs.Add("LEFT", ftSmallint);
    Defs.Add("BUTTOM", ftSmallint);
    Defs.Add("RIGHT", ftSmallint);
    Defs.Add("DATES", ftDate);
    Defs.Add("TIMES", ftTime);
    Defs.Add("REACT", ftString, 1);
    Defs.Add("TOLERANCE", ftSmallint);
}

void CreateRecordTableWhenMissing(const QString& Path) {
    TFieldDefs defs;
    AddRecordTableFields(defs);
    try {
        // One step that never replaces: no question about a table that is there.
        TTableFile::Create(Path, DescriptorsFor(defs), false);
    } catch (const EBinaryDataSetError&) {
        // The table was there, or another program made it meanwhile: then it is there to be opened, and only
        // a table still missing is a failure.
        if (!QFileInfo::exists(Path))
            throw;
    }
}
