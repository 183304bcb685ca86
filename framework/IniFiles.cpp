// The settings file kept as its own lines, so that writing one value leaves every other byte alone.
#include "framework/IniFiles.h"

#include "framework/NumberText.h"
#include "framework/TickCount.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const QByteArray byteOrderMark("\xEF\xBB\xBF");

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// Text of a line as it stands: QString::fromUtf8 would drop a byte-order mark that begins a name or value,
// so that a value read and written back would change. Stateless: a cut sequence at the end still reads as
// the replacement character, as everywhere else.
QString TextOf(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

int SkipBlanks(const QByteArray& text, int from) {
    while (from < text.size() && IsBlank(text[from]))
        ++from;
    return from;
}

int TrimEnd(const QByteArray& text, int begin, int end) {
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return end;
}

// "[Name]" with blanks allowed around the name and anything after the bracket.
std::optional<QByteArray> SectionName(const QByteArray& body) {
    const int open = SkipBlanks(body, 0);
    if (open >= body.size() || body[open] != '[')
        return std::nullopt;
    const int close = body.indexOf(']', open + 1);
    if (close < 0)
        return std::nullopt;
    const int begin = SkipBlanks(body, open + 1);
    return body.mid(begin, TrimEnd(body, begin, close) - begin);
}

// The key of a "key = value" line and where its trimmed value lies; comment lines (";") have none.
struct TKeyLine {
    QByteArray Key;
    int ValueBegin = 0;
    int ValueEnd = 0;
};

std::optional<TKeyLine> SplitKeyLine(const QByteArray& body) {
    const int first = SkipBlanks(body, 0);
    const int equals = body.indexOf('=');
    if (first >= body.size() || body[first] == ';' || equals < 0)
        return std::nullopt;
    TKeyLine line;
    line.Key = body.mid(first, TrimEnd(body, first, equals) - first);
    line.ValueBegin = SkipBlanks(body, equals + 1);
    line.ValueEnd = TrimEnd(body, line.ValueBegin, int(body.size()));
    return line;
}

bool SameName(const QByteArray& stored, const QString& wanted) {
    return TextOf(stored).compare(wanted, Qt::CaseInsensitive) == 0;
}

void CheckNoLineBreak(const QString& text) {
    if (text.contains(u'\r') || text.contains(u'\n'))
        throw EIniFileException(QString("A line break cannot be stored in an initialisation file: \"%1\"")
                                    .arg(QString(text).replace(u'\r', u' ').replace(u'\n', u' ')));
}

// A name that would read back as something else, or make its line a comment or a section header.
void CheckName(const QString& name, bool isKey) {
    const bool breaks =
        name.isEmpty() || name.trimmed() != name ||
        (isKey ? name.contains(u'=') || name.startsWith(u';') || name.startsWith(u'[') : name.contains(u']'));
    if (breaks)
        throw EIniFileException(QString("\"%1\" cannot be stored as a %2 name in an initialisation file")
                                    .arg(name, isKey ? "key" : "section"));
}

// The write lock: the system's lock on "<file>.lock", which it lets go when its holder ends, so a lock file
// that a program left behind when it died is taken over at once, whatever it holds. The holder removes the
// file while it still holds it; a writer that locked the removed file tries again on the new one.
class TWriteLock {
public:
    explicit TWriteLock(const QString& FileName);
    ~TWriteLock() {
        ::unlink(Path.constData());
        ::close(Handle);
    }
    TWriteLock(const TWriteLock&) = delete;
    TWriteLock& operator=(const TWriteLock&) = delete;

private:
    bool TryLock(const QString& FileName);
    bool HoldsNamedFile() const;

    QByteArray Path;
    int Handle = -1;
};

TWriteLock::TWriteLock(const QString& FileName) : Path(QFile::encodeName(FileName + ".lock")) {
    const uint32_t start = GetTickCount();
    while (!TryLock(FileName)) {
        if (uint32_t(GetTickCount() - start) >= TIniFile::LockWaitMs)
            throw EIniFileException(
                QString("Unable to lock %1 for writing: %2 has been held by another program for %3 seconds")
                    .arg(FileName, QFile::decodeName(Path))
                    .arg(TIniFile::LockWaitMs / 1000));
        // On a test's clock the wait is counted in its ticks alone.
        if (!TickSourceInstalled())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Anything but another holder (a folder in the lock's place, no right to create it) is final.
bool TWriteLock::TryLock(const QString& FileName) {
    Handle = ::open(Path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    const bool locked = Handle >= 0 && ::flock(Handle, LOCK_EX | LOCK_NB) == 0;
    const int error = locked || errno == EWOULDBLOCK ? 0 : errno;
    if (locked && HoldsNamedFile())
        return true;
    if (Handle >= 0)
        ::close(Handle);
    Handle = -1;
    if (error)
        throw EIniFileException(QString("Unable to lock %1 for writing: %2: %3")
                                    .arg(FileName, QFile::decodeName(Path), qt_error_string(error)));
    return false;
}

bool TWriteLock::HoldsNamedFile() const {
    struct stat held {};
    struct stat named {};
    return ::fstat(Handle, &held) == 0 && ::stat(Path.constData(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

} // namespace

TIniFile::TIniFile(const QString& FileName) : FileName(FileName) {
    Load();
}

void TIniFile::Load() {
    Lines.clear();
    HasByteOrderMark = false;
    Unreadable = false;
    NewLineEnding = "\r\n";
    QFile file(FileName);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        Unreadable = true;
        return;
    }
    QByteArray data = file.readAll();
    if (data.startsWith(byteOrderMark)) {
        HasByteOrderMark = true;
        data.remove(0, byteOrderMark.size());
    }
    bool endingSeen = false;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype stop = start;
        while (stop < data.size() && data[stop] != '\r' && data[stop] != '\n')
            ++stop;
        TLine line{data.mid(start, stop - start), {}};
        if (stop < data.size()) {
            const bool crlf = data[stop] == '\r' && stop + 1 < data.size() && data[stop + 1] == '\n';
            line.Ending = data.mid(stop, crlf ? 2 : 1);
            if (!endingSeen)
                NewLineEnding = line.Ending;
            endingSeen = true;
        }
        start = stop + line.Ending.size();
        Lines.push_back(std::move(line));
    }
}

int TIniFile::FindSection(const QString& Section) const {
    for (int i = 0; i < int(Lines.size()); ++i) {
        const auto name = SectionName(Lines[i].Body);
        if (name && SameName(*name, Section))
            return i;
    }
    return -1;
}

int TIniFile::SectionEnd(int SectionLine) const {
    int end = SectionLine + 1;
    while (end < int(Lines.size()) && !SectionName(Lines[end].Body))
        ++end;
    return end;
}

int TIniFile::FindKey(int SectionLine, const QString& Ident) const {
    const int end = SectionEnd(SectionLine);
    for (int i = SectionLine + 1; i < end; ++i) {
        const auto line = SplitKeyLine(Lines[i].Body);
        if (line && SameName(line->Key, Ident))
            return i;
    }
    return -1;
}

QString TIniFile::ReadString(const QString& Section, const QString& Ident, const QString& Default) const {
    const int section = FindSection(Section);
    const int key = section < 0 ? -1 : FindKey(section, Ident);
    if (key < 0)
        return Default;
    const QByteArray& body = Lines[key].Body;
    const auto line = SplitKeyLine(body);
    return TextOf(body.mid(line->ValueBegin, line->ValueEnd - line->ValueBegin));
}

int32_t TIniFile::ReadInteger(const QString& Section, const QString& Ident, int32_t Default) const {
    int32_t value = Default;
    return ParseInteger(ReadString(Section, Ident, QString()), value) ? value : Default;
}

void TIniFile::InsertLine(int Index, const QByteArray& Body) {
    // The line before the new one may be a last line without an ending of its own.
    if (Index > 0 && Lines[Index - 1].Ending.isEmpty())
        Lines[Index - 1].Ending = NewLineEnding;
    Lines.insert(Lines.begin() + Index, TLine{Body, NewLineEnding});
}

void TIniFile::WriteString(const QString& Section, const QString& Ident, const QString& Value) {
    CheckNoLineBreak(Section);
    CheckNoLineBreak(Ident);
    CheckNoLineBreak(Value);
    CheckName(Section, false);
    CheckName(Ident, true);
    // Another handle, or another running copy of the program, may have written since this one read the
    // file: the write starts from the file as it is now, so it changes nothing but its own key.
    const TWriteLock lock(FileName);
    Load();
    if (Unreadable)
        throw EIniFileException(QString("Unable to read %1, so it is not rewritten").arg(FileName));
    const QByteArray value = Value.trimmed().toUtf8();
    int section = FindSection(Section);
    if (section < 0) {
        section = int(Lines.size());
        InsertLine(section, "[" + Section.toUtf8() + "]");
    }
    const int key = FindKey(section, Ident);
    if (key >= 0) {
        QByteArray& body = Lines[key].Body;
        const auto line = SplitKeyLine(body);
        body.replace(line->ValueBegin, line->ValueEnd - line->ValueBegin, value);
    } else {
        // After the section's last non-blank line, so blank lines that separate sections stay between them.
        int at = SectionEnd(section);
        while (at > section + 1 && Lines[at - 1].Body.trimmed().isEmpty())
            --at;
        InsertLine(at, Ident.toUtf8() + "=" + value);
    }
    Save();
}

void TIniFile::WriteInteger(const QString& Section, const QString& Ident, int32_t Value) {
    WriteString(Section, Ident, QString::number(Value));
}

void TIniFile::Save() const {
    QByteArray data = HasByteOrderMark ? byteOrderMark : QByteArray();
    for (const TLine& line : Lines)
        data += line.Body + line.Ending;
    QSaveFile file(FileName);
    // Flushed first: commit() does not see a failure of its own final flush (a full disk, a size limit) and
    // would put the cut file in place of the settings.
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.flush() ||
        !file.commit())
        throw EIniFileException(QString("Unable to write to %1: %2").arg(FileName, file.errorString()));
}
