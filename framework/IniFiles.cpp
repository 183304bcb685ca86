// The settings file kept as its own bytes and scanned line by line, so that writing one value leaves every
// other byte alone.
#include "framework/IniFiles.h"

#include "framework/FileStreams.h"
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
#include <unistd.h>

namespace {

const QByteArray byteOrderMark("\xEF\xBB\xBF");

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// Text of a line as it stands: QString::fromUtf8 would drop a byte-order mark that begins a name or value,
// so that a value read and written back would change. Stateless: a cut sequence at the end still reads as
// the replacement character, as everywhere else.
QString TextOf(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

qsizetype SkipBlanks(QByteArrayView text, qsizetype from) {
    while (from < text.size() && IsBlank(text[from]))
        ++from;
    return from;
}

qsizetype TrimEnd(QByteArrayView text, qsizetype begin, qsizetype end) {
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return end;
}

// "[Name]" with blanks allowed around the name and anything after the bracket.
std::optional<QByteArrayView> SectionName(QByteArrayView body) {
    const qsizetype open = SkipBlanks(body, 0);
    if (open >= body.size() || body[open] != '[')
        return std::nullopt;
    const qsizetype close = body.indexOf(']', open + 1);
    if (close < 0)
        return std::nullopt;
    const qsizetype begin = SkipBlanks(body, open + 1);
    return body.sliced(begin, TrimEnd(body, begin, close) - begin);
}

// The key of a "key = value" line and where its trimmed value lies; comment lines (";") have none.
struct TKeyLine {
    QByteArrayView Key;
    qsizetype ValueBegin = 0;
    qsizetype ValueEnd = 0;
};

std::optional<TKeyLine> SplitKeyLine(QByteArrayView body) {
    const qsizetype first = SkipBlanks(body, 0);
    const qsizetype equals = body.indexOf('=');
    if (first >= body.size() || body[first] == ';' || equals < 0)
        return std::nullopt;
    TKeyLine line;
    line.Key = body.sliced(first, TrimEnd(body, first, equals) - first);
    line.ValueBegin = SkipBlanks(body, equals + 1);
    line.ValueEnd = TrimEnd(body, line.ValueBegin, body.size());
    return line;
}

bool IsBlankLine(QByteArrayView body) {
    return SkipBlanks(body, 0) == body.size();
}

bool SameName(QByteArrayView stored, const QString& wanted) {
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
    if (!RetryFor(TIniFile::LockWaitMs, std::chrono::milliseconds(20), [&] { return TryLock(FileName); }))
        throw EIniFileException(
            QString("Unable to lock %1 for writing: %2 has been held by another program for %3 seconds")
                .arg(FileName, QFile::decodeName(Path))
                .arg(TIniFile::LockWaitMs / 1000));
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
    Text.clear();
    ReadError.clear();
    QFile file(FileName);
    if (!file.exists())
        return;
    try {
        OpenFileForReading(file);
    } catch (const EFOpenError& e) {
        ReadError = e.message();
        return;
    }
    // Read into a buffer of the file's size: readAll would leave up to as much again unused behind it.
    Text = QByteArray(file.size(), Qt::Uninitialized);
    Text.truncate(qMax<qint64>(file.read(Text.data(), Text.size()), 0));
    Text += file.readAll(); // whatever came after the size was taken, or all of a file without one
}

qsizetype TIniFile::FirstLineBegin() const {
    return Text.startsWith(byteOrderMark) ? byteOrderMark.size() : 0;
}

TIniFile::TLine TIniFile::LineAt(qsizetype Begin) const {
    const char* text = Text.constData();
    const qsizetype size = Text.size();
    TLine line{Begin, Begin, Begin};
    while (line.End < size && text[line.End] != '\r' && text[line.End] != '\n')
        ++line.End;
    line.Next = line.End;
    if (line.Next < size)
        line.Next += text[line.Next] == '\r' && line.Next + 1 < size && text[line.Next + 1] == '\n' ? 2 : 1;
    return line;
}

QByteArrayView TIniFile::Body(const TLine& Line) const {
    return QByteArrayView(Text).sliced(Line.Begin, Line.End - Line.Begin);
}

std::optional<TIniFile::TLine> TIniFile::FindSection(const QString& Section) const {
    for (TLine line = LineAt(FirstLineBegin()); line.Begin < Text.size(); line = LineAt(line.Next)) {
        const auto name = SectionName(Body(line));
        if (name && SameName(*name, Section))
            return line;
    }
    return std::nullopt;
}

TIniFile::TKeySearch TIniFile::FindKey(const TLine& Header, const QString& Ident) const {
    // A new key goes after the section's last non-blank line, so blank lines that separate sections stay
    // between them.
    TKeySearch search{std::nullopt, Header.Next};
    for (TLine line = LineAt(Header.Next); line.Begin < Text.size(); line = LineAt(line.Next)) {
        const QByteArrayView body = Body(line);
        if (SectionName(body))
            break;
        const auto key = SplitKeyLine(body);
        if (key && SameName(key->Key, Ident)) {
            search.Value = TValue{line.Begin + key->ValueBegin, line.Begin + key->ValueEnd};
            break;
        }
        if (!IsBlankLine(body))
            search.NewKeyAt = line.Next;
    }
    return search;
}

QString TIniFile::ReadString(const QString& Section, const QString& Ident, const QString& Default) const {
    const auto section = FindSection(Section);
    const auto value = section ? FindKey(*section, Ident).Value : std::nullopt;
    if (!value)
        return Default;
    return TextOf(QByteArrayView(Text).sliced(value->Begin, value->End - value->Begin));
}

int32_t TIniFile::ReadInteger(const QString& Section, const QString& Ident, int32_t Default) const {
    int32_t value = Default;
    return ParseInteger(ReadString(Section, Ident, QString()), value) ? value : Default;
}

void TIniFile::InsertLine(qsizetype At, const QByteArray& LineBody) {
    // Lines we add end as the file's first line does.
    const TLine first = LineAt(FirstLineBegin());
    const QByteArray ending =
        first.Next > first.End ? Text.sliced(first.End, first.Next - first.End) : "\r\n";
    QByteArray line = LineBody + ending;
    // The line before the new one may be a last line without an ending of its own.
    if (At == Text.size() && At > FirstLineBegin() && !Text.endsWith('\r') && !Text.endsWith('\n'))
        line.prepend(ending);
    Text.insert(At, line);
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
    if (!ReadError.isEmpty())
        throw EIniFileException(QString("Unable to read %1, so it is not rewritten").arg(FileName));
    const QByteArray value = Value.trimmed().toUtf8();
    const QByteArray keyLine = Ident.toUtf8() + "=" + value;
    if (const auto section = FindSection(Section)) {
        const TKeySearch key = FindKey(*section, Ident);
        if (key.Value)
            Text.replace(key.Value->Begin, key.Value->End - key.Value->Begin, value);
        else
            InsertLine(key.NewKeyAt, keyLine);
    } else {
        InsertLine(Text.size(), "[" + Section.toUtf8() + "]");
        InsertLine(Text.size(), keyLine);
    }
    Save();
}

void TIniFile::WriteInteger(const QString& Section, const QString& Ident, int32_t Value) {
    WriteString(Section, Ident, QString::number(Value));
}

void TIniFile::Save() const {
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(Text) != Text.size() || !FlushAndCommit(file))
        throw EIniFileException(QString("Unable to write to %1: %2").arg(FileName, file.errorString()));
}
