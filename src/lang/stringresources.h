#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

// The program's numbered string table: English texts 1-196, the About texts 500 and 501, the
// language names 600+k, the language count 650, and each further language's texts in its own
// block of 1000 (language k: k*1000+1 to k*1000+187).
class StringResources {
public:
    // The tables compiled into the program. English is read at once, each further language when
    // one of its texts is first asked for: a start needs one language, rarely two.
    static const StringResources &builtIn();

    std::optional<QString> string(int id) const;
    void set(int id, const QString &text);
    void remove(int id);

    // One text file: "# comment", or "<number><TAB><text>" where the text keeps its blanks and
    // "\n" is a line break (CR LF), "\\" a backslash and "\t" a tab. Numbers are local to the
    // file; blockBase is added to each. Bad lines are skipped and named in `problems`.
    static QHash<int, QString> parse(const QByteArray &data, int blockBase, QStringList *problems = nullptr);
    // All language files of a folder (english.txt first; the others by the names 600+k).
    static StringResources load(const QString &folder, QStringList *problems = nullptr);

private:
    // English and the language names from the folder; the other languages are read later.
    static StringResources withEnglish(const QString &folder, QStringList *problems);
    // Reads language k's file into its block once; without a folder everything is in already.
    void readLanguage(int k) const;
    void readFile(const QString &name, int blockBase, QStringList *problems) const;

    // Filled as texts are asked for, which only the interface's thread does.
    QString m_folder;
    mutable QHash<int, QString> m_strings;
    mutable QSet<int> m_languagesRead;
};
