#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The machine registry of a Wine prefix, read and written in Wine's own text format
// (system.reg, HKEY_LOCAL_MACHINE). Lines the program does not change are written back byte for
// byte; key and value names compare without regard to letter case, as Windows does.
class WineRegistry {
public:
    // Windows value types as their codes.
    enum Type : quint32 { None = 0, String = 1, ExpandString = 2, Binary = 3, Dword = 4, MultiString = 7 };

    struct Value {
        quint32 type = None;
        QString text; // String and ExpandString
        quint32 number = 0; // Dword
        QByteArray bytes; // every other type: the data as Windows holds it
    };

    // Reads a system.reg; empty with `error` set when the file is missing, unreadable, has an unknown
    // header or is garbled (a line that is neither a key, a value, a comment nor a continuation).
    static std::optional<WineRegistry> load(const QString &path, QString *error = nullptr);

    QString path() const;
    // "#arch=win64": 32-bit programs see Software\... under Software\Wow6432Node\...
    bool is64Bit() const;
    // The key a 32-bit program means by `key` (relative to HKEY_LOCAL_MACHINE, backslashes).
    QString keyFor32BitProgram(const QString &key) const;

    bool hasKey(const QString &key) const;
    // Adds the key (and its missing parents, as Wine lists them) when it is not there yet.
    void createKey(const QString &key);
    std::optional<Value> value(const QString &key, const QString &name) const;
    // Sets a value, adding the key when needed; the key's timestamp becomes the current time.
    void setString(const QString &key, const QString &name, const QString &text);
    void setDword(const QString &key, const QString &name, quint32 number);

    // Writes the file beside the old one and puts it in place at once, keeping the previous file as
    // "<name>.bak"; on failure the old file is untouched and `error` says why.
    bool save(QString *error = nullptr);
    // The file's bytes as save() would write them.
    QByteArray serialized() const;

private:
    WineRegistry() = default;
    // One line as read, or a value with its continuation lines; `raw` keeps the line ends.
    struct Line {
        enum Kind { Other, Value, Time };
        QByteArray raw;
        Kind kind = Other;
        QString folded; // a value's name, case-folded; empty for the default value
        qsizetype dataStart = 0; // where a value's data begins in `raw`, after the '='
    };
    struct Key {
        QString path; // single backslashes, spelled as in the file
        QString folded;
        QByteArray raw; // the bracket line
        qsizetype nameEnd = 0; // just past the closing ']' in `raw`
        QList<Line> lines; // everything up to the next key line
    };
    Key *findKey(const QString &key);
    const Key *findKey(const QString &key) const;
    Key &ensureKey(const QString &key);
    QString spelledAsListed(const QString &key) const;
    void touch(Key &key);
    void setData(const QString &key, const QString &name, const Value &value, const QByteArray &data);

    QString m_path;
    QList<QByteArray> m_header; // everything before the first key line, as read
    QList<Key> m_keys;
    bool m_win64 = false;
    QByteArray m_onDisk; // the file as read or last saved, to notice another writer
};

namespace wine {

// The prefix a game folder belongs to: the part before "/drive_c/", else $WINEPREFIX, else ~/.wine.
// With a trailing '/'.
QString prefixFor(const QString &gameFolder);
// The Windows path a program in the prefix sees for a Linux folder, by the prefix's dosdevices drive
// links ("C:\TTD\"), with a trailing backslash; "C:" stands for drive_c when there are no links.
// Empty when no drive reaches the folder.
QString windowsPathFor(const QString &prefix, const QString &folder);
// True while a wineserver serves this prefix: it holds the registry in memory and would overwrite
// any change to the file when it exits. `serverRoot` is where Wine keeps its server folders ("/tmp").
bool serverRunning(const QString &prefix, const QString &serverRoot = QStringLiteral("/tmp"));

} // namespace wine
