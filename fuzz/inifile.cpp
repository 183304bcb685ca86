// Reads arbitrary bytes as the settings file: every key the file appears to hold is read, written back with
// the value read, and read again from a fresh handle on the written file, which must give the same values;
// a new key in a new section must read back as written without changing any other value.
// Seeds: fuzz/corpus/inifile. Five minutes under ASan and UBSan (build-fuzz as in .ci/run):
//     build-fuzz/fuzz/fuzz_inifile -max_total_time=300 -timeout=10 <empty work dir> fuzz/corpus/inifile
#include "framework/IniFiles.h"

#include <QDir>
#include <QFile>
#include <cstdlib>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// One settings file per fuzzing process, removed when it ends.
struct TFuzzFile {
    const QString Path = QDir::temp().filePath(QStringLiteral("fuzz_inifile_%1.ini").arg(getpid()));
    ~TFuzzFile() { QFile::remove(Path); }
};

struct TKey {
    QString Section;
    QString Ident;
};

// The section the target adds a key to; keys the input already has there are not compared.
const QString AddedSection = QStringLiteral("Fuzz\x01Section");

// The section and key names the lines seem to hold, found apart from the parser under test: a "[" line
// opens a section, a line with "=" outside one of those names a key. Names the writer refuses are kept: a
// refusal must leave the file alone.
std::vector<TKey> KeysOf(const QByteArray& Bytes) {
    std::vector<TKey> keys;
    QString section;
    for (QByteArray line : Bytes.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[') && line.contains(']')) {
            section = QString::fromUtf8(line.mid(1, line.indexOf(']') - 1)).trimmed();
        } else if (line.contains('=') && keys.size() < 64 &&
                   section.compare(AddedSection, Qt::CaseInsensitive) != 0) {
            keys.push_back({section, QString::fromUtf8(line.left(line.indexOf('='))).trimmed()});
        }
    }
    return keys;
}

std::vector<QString> ValuesOf(const TIniFile& Ini, const std::vector<TKey>& Keys) {
    std::vector<QString> values;
    for (const TKey& k : Keys) {
        values.push_back(Ini.ReadString(k.Section, k.Ident, QStringLiteral("\x01missing")));
        (void)Ini.ReadInteger(k.Section, k.Ident, -1);
    }
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const TFuzzFile file;
    const QByteArray input(reinterpret_cast<const char*>(bytes), qsizetype(size));
    {
        QFile out(file.Path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        out.write(input);
    }
    const std::vector<TKey> keys = KeysOf(input);
    TIniFile ini(file.Path);
    const std::vector<QString> values = ValuesOf(ini, keys);
    for (size_t i = 0; i < keys.size(); ++i) {
        try {
            ini.WriteString(keys[i].Section, keys[i].Ident, values[i]);
        } catch (const EIniFileException&) {
            // A name or value the file cannot hold is refused before anything is written.
        }
    }
    if (ValuesOf(TIniFile(file.Path), keys) != values)
        std::abort();

    try {
        ini.WriteString(AddedSection, QStringLiteral("Key"), QStringLiteral("a value"));
    } catch (const EIniFileException&) {
        return 0;
    }
    const TIniFile again(file.Path);
    if (again.ReadString(AddedSection, QStringLiteral("Key"), {}) != QStringLiteral("a value"))
        std::abort();
    if (ValuesOf(again, keys) != values)
        std::abort();
    return 0;
}
