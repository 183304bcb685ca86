// "Добавить в общую БД": every probe of the navigator goes to the common database, and the user learns what
// was added, what was there already and what was refused.
#include "CommonBaseWriter.h"
#include "Main.h"
#include "PicForm.h"
#include "framework/MessageBox.h"

namespace {

// The refusals a box shows before it only counts the rest.
constexpr qsizetype ShownRefusals = 20;

// Every probe in the navigator's order: picture by picture, infection by infection.
std::vector<TProbeRecord> ProbeRecords(const TBase& Base) {
    std::vector<TProbeRecord> records;
    for (const auto& pict : Base.Picts)
        for (const auto& infection : pict->Infections)
            for (const auto& probe : infection->Probes)
                records.push_back({pict->FileName, infection->Name, probe->Name, probe->Supplier,
                                   probe->Patient, probe->Note, probe->Reaction, probe->Value,
                                   probe->Luminosity, probe->Threshold, probe->Rect, probe->Date,
                                   probe->Time});
    return records;
}

QString AddedText(const TCommonBaseWriter& Writer) {
    return QStringLiteral("Добавлено записей: %1.").arg(Writer.Added);
}

} // namespace

void TForm1::N9Click() {
    if (!Base)
        return;
    if (!CommonBase)
        CommonBase.emplace(DataBaseFolder, ImageFolder);
    TCommonBaseWriter& writer = *CommonBase;
    try {
        writer.Add(ProbeRecords(*Base));
    } catch (const ECommonBaseError& e) {
        ShowError(e.message() + "\n" + AddedText(writer), false);
        return;
    }
    QStringList lines = {QStringLiteral("Общая база данных: %1").arg(DataBaseFolder), AddedText(writer)};
    if (writer.AlreadyThere > 0)
        lines << QStringLiteral("Уже были в базе: %1.").arg(writer.AlreadyThere);
    const qsizetype refused = writer.Refused.size();
    if (refused > 0) {
        lines << QStringLiteral("Не добавлены (%1):").arg(refused) << writer.Refused.mid(0, ShownRefusals);
        if (refused > ShownRefusals)
            lines << QStringLiteral("… и ещё %1.").arg(refused - ShownRefusals);
    }
    MessageBox(lines.join(u'\n'), QStringLiteral("Информация"), mtInformation);
}
