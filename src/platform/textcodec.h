#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <array>

// TTDPatch reads its configuration as 8-bit text in the player's Windows ANSI code page, and a file
// that is opened and saved without edits has to come back byte for byte, so no byte may be lost.
//
// 8-bit text in a Windows code page, converted through iconv. Every byte sequence survives a
// decode and encode unchanged, also bytes the code page leaves undefined.
class TextCodec {
public:
    // codePage as Windows names it: "1250".."1258", "874", "932", "936", "949", "950".
    // An unknown or unsupported page falls back to "1252".
    explicit TextCodec(const QString &codePage);
    QString codePage() const; // the page actually used
    QString decode(const QByteArray &bytes) const;
    // Characters the page cannot represent become '?'.
    QByteArray encode(const QString &text) const;

private:
    QString decodeRuns(const QByteArray &bytes) const;
    QString decodeOneByOne(const QByteArray &bytes) const;

    QString m_codePage;
    QByteArray m_iconvName;
    bool m_doubleByte = false;
    // Single-byte pages decode and encode by table: one lookup per byte.
    std::array<char16_t, 256> m_toText {};
    QHash<char16_t, char> m_toBytes;
};
