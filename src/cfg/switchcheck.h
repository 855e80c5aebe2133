#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

class QTextStream;

// What TTDPatch says about its own switches (the list its -!S query writes) and how a configuration
// line measures up against it. The editor and `vexalpro --check` both judge lines here.
namespace switchCheck {

struct Switch {
    QString name; // as the list spells it
    QString description;
    bool ranged = false; // a value switch; otherwise yes/no, or text for the few text switches
    qint64 minimum = 0, maximum = 0, fallback = 0;
    // The base its values are written in: TTDPatch keeps a few switches in hexadecimal or base 4,
    // while the list prints every range in decimal.
    int base = 10;
    bool text = false;

    // The range and default as a configuration writes them.
    QString number(qint64 value) const;
};

class SwitchList {
public:
    // The list's text; its first line is the patch version, every line that is not a switch line
    // (a damaged one, or the DOS patch's help) is passed over.
    static SwitchList parse(const QString &text);
    // The list file in `folder`, its name in any letter case; empty when there is none or it
    // cannot be read.
    static SwitchList inFolder(const QString &folder);
    // Empty when there is no such file; throws the run-time error of a file that cannot be read.
    static SwitchList fromFile(const QString &path);

    bool isEmpty() const { return m_switches.isEmpty(); }
    // By name, letter case ignored; a bit of a bit switch (`disasters.smallufo`) finds its switch.
    const Switch *find(QStringView name) const;
    QStringList names() const;

private:
    QHash<QString, Switch> m_switches; // keyed by the lower-case name
};

inline constexpr const char *ListFileName = "swtchlst.txt";

// What a line sets, found as TTDPatch's reader finds it: a line whose first non-blank character is
// a letter holds a name, then an optional '=' or ':', then a value up to the next blank.
struct Setting {
    QString key; // the lower-case name; empty for a line that sets nothing
    qsizetype nameStart = 0, nameLength = 0;
    qsizetype valueStart = 0, valueLength = 0;
};
Setting settingOf(QStringView line);

enum class Kind { None, Unknown, OutOfRange, NotNumber, NotYesNo };
struct Verdict {
    Kind kind = Kind::None;
    const Switch *known = nullptr;
    // The characters the problem is about: the name of an unknown switch, else the value.
    qsizetype start = 0, length = 0;
};
Verdict judge(const SwitchList &list, QStringView line, const Setting &setting);

// The reason in the interface language; `name` and `value` as the line writes them.
QString message(const Verdict &verdict, QStringView line, const Setting &setting);
QString repeatMessage(QStringView line, const Setting &setting, int earlierLine);
// What hovering a switch shows: its description, range and default.
QString description(const Switch &known);

struct Finding {
    int line = 0; // 1-based
    QString message;
};
// Every problem of a configuration's lines, in line order, repeats included.
QList<Finding> check(const SwitchList &list, const QStringList &lines);

// `vexalpro --check`: one `FILE:LINE: warning: message` line per problem on `out`; 0 when there is
// none, 1 when there are problems, 2 (with the reason on `err`) when a file cannot be read. Without
// `listPath` the list in the configuration's folder is used. Lines are numbered as a text editor
// numbers them (each line feed ends one), and a lone CR is a blank inside its line, as TTDPatch
// reads it.
int checkCommand(const QString &configuration, const QString &listPath, QTextStream &out, QTextStream &err);

} // namespace switchCheck
