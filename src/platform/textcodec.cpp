#include "textcodec.h"

#include <QMutex>
#include <QSet>
#include <QStringView>

#include <cerrno>
#include <iconv.h>
#include <map>
#include <optional>

namespace {

struct Page {
    const char *windows;
    const char *iconv;
    bool doubleByte;
};

// glibc's own names: its CP936, CP949 and CP950 are only aliases of GBK, UHC and BIG5. CP874 rather
// than TIS-620, as only CP874 has the Windows additions (euro sign, curly quotes, no-break space).
constexpr Page Pages[] = {
    {"874", "CP874", false},
    {"1250", "CP1250", false},
    {"1251", "CP1251", false},
    {"1252", "CP1252", false},
    {"1253", "CP1253", false},
    {"1254", "CP1254", false},
    {"1255", "CP1255", false},
    {"1256", "CP1256", false},
    {"1257", "CP1257", false},
    {"1258", "CP1258", false},
    {"932", "CP932", true},
    {"936", "GBK", true},
    {"949", "UHC", true},
    {"950", "BIG5", true},
};

// Native byte order, so that iconv's output is a QString's buffer as it is.
constexpr const char *Utf16 = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? "UTF-16LE" : "UTF-16BE";

// A byte that does not decode becomes a lone low surrogate, as in Python's "surrogateescape":
// no real text contains one, so encode() knows to write the raw byte back.
constexpr char16_t EscapeBase = 0xDC00;
bool isEscape(char16_t unit)
{
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

// The longest character of the double-byte pages, in bytes.
constexpr qsizetype MaxSequence = 2;

const Page *findPage(const QString &windows)
{
    for (const Page &page : Pages) {
        if (windows == QLatin1String(page.windows))
            return &page;
    }
    return nullptr;
}

// iconv descriptors keep state between calls, so each one lives in one thread for one call.
class Iconv {
public:
    Iconv(const char *to, const char *from)
        : m_cd(iconv_open(to, from))
    { }
    ~Iconv()
    {
        if (isOpen())
            iconv_close(m_cd);
    }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;

    bool isOpen() const { return m_cd != iconv_t(-1); }
    void reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

    // Appends the conversion of `in` to `out` and returns true. At a sequence it cannot convert it
    // stops, leaves `in` there and returns false.
    bool convert(QByteArrayView &in, QByteArray &out)
    {
        for (;;) {
            const qsizetype used = out.size();
            out.resize(used + 2 * in.size() + 16);
            char *source = const_cast<char *>(in.data());
            size_t sourceLeft = size_t(in.size());
            char *target = out.data() + used;
            size_t targetLeft = size_t(out.size() - used);
            size_t result = iconv(m_cd, &source, &sourceLeft, &target, &targetLeft);
            // 1255 and 1258 hold a letter back in case an accent follows; this lets it out.
            if (result != size_t(-1))
                result = iconv(m_cd, nullptr, nullptr, &target, &targetLeft);
            const int error = errno;
            out.truncate(target - out.data());
            in = in.sliced(in.size() - qsizetype(sourceLeft));
            if (result != size_t(-1))
                return true;
            if (error != E2BIG)
                return false;
        }
    }

private:
    iconv_t m_cd;
};

void appendUnit(QByteArray &units, char16_t unit)
{
    units.append(reinterpret_cast<const char *>(&unit), sizeof unit);
}

QString fromUnits(const QByteArray &units)
{
    return QString(reinterpret_cast<const QChar *>(units.constData()), units.size() / qsizetype(sizeof(char16_t)));
}

void appendConverted(Iconv &toBytes, QStringView run, QByteArray &out)
{
    QByteArrayView in(reinterpret_cast<const char *>(run.utf16()), run.size() * qsizetype(sizeof(char16_t)));
    toBytes.reset();
    while (!in.isEmpty() && !toBytes.convert(in, out)) {
        const qsizetype at = run.size() - in.size() / qsizetype(sizeof(char16_t));
        const bool pair = at + 1 < run.size() && run[at].isHighSurrogate() && run[at + 1].isLowSurrogate();
        out.append('?');
        in = in.sliced(qMin(in.size(), (pair ? 2 : 1) * qsizetype(sizeof(char16_t))));
        toBytes.reset();
    }
}

// A byte the page leaves undefined keeps its own value as a code point (as Latin-1 would) unless
// another byte of the page already decodes to it; then it needs the escape.
std::array<char16_t, 256> singleByteTable(const char *name)
{
    std::array<char16_t, 256> table {};
    std::array<bool, 256> defined {};
    QSet<char16_t> taken;
    Iconv toText(Utf16, name);
    for (int byte = 0; byte < 256; ++byte) {
        if (byte < 0x80) {
            table[byte] = char16_t(byte);
            defined[byte] = true;
            taken.insert(char16_t(byte));
            continue;
        }
        const char raw = char(byte);
        QByteArrayView in(&raw, 1);
        QByteArray units;
        toText.reset();
        if (!toText.convert(in, units) || units.size() != qsizetype(sizeof(char16_t)))
            continue;
        const char16_t unit = fromUnits(units).at(0).unicode();
        if (QChar::isSurrogate(unit) || taken.contains(unit))
            continue;
        table[byte] = unit;
        defined[byte] = true;
        taken.insert(unit);
    }
    for (int byte = 0x80; byte < 256; ++byte) {
        if (!defined[byte])
            table[byte] = taken.contains(char16_t(byte)) ? char16_t(EscapeBase + byte) : char16_t(byte);
    }
    return table;
}

} // namespace

TextCodec::TextCodec(const QString &codePage)
{
    // Made once for each page a run asks for (256 conversions through iconv): every file of a run
    // is in the same page.
    static QMutex lock;
    static std::map<QString, TextCodec> made; // a node per page: a hash table's first block was 28 kB
    const QMutexLocker locked(&lock);
    if (const auto known = made.find(codePage); known != made.end()) {
        *this = known->second;
        return;
    }
    const Page *page = findPage(codePage);
    if (!page || !Iconv(Utf16, page->iconv).isOpen() || !Iconv(page->iconv, Utf16).isOpen())
        page = findPage(QStringLiteral("1252"));
    m_codePage = QLatin1String(page->windows);
    m_iconvName = page->iconv;
    m_doubleByte = page->doubleByte;
    if (!m_doubleByte) {
        // Should even CP1252 be missing from the system, the table is Latin-1, which still round-trips.
        m_toText = singleByteTable(page->iconv);
        for (int byte = 0x80; byte < 256; ++byte) {
            if (!isEscape(m_toText[byte]))
                m_toBytes.insert(m_toText[byte], char(byte));
        }
    }
    made.emplace(codePage, *this);
}

QString TextCodec::codePage() const
{
    return m_codePage;
}

QString TextCodec::decode(const QByteArray &bytes) const
{
    if (m_doubleByte) {
        // Some characters have more than one byte sequence (932 has NEC and IBM copies of the same
        // kanji and symbols, 950 a few duplicates), and encoding writes only one of them back.
        QString text = decodeRuns(bytes);
        return encode(text) == bytes ? text : decodeOneByOne(bytes);
    }
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes)
        *out++ = QChar(m_toText[uchar(byte)]);
    return text;
}

QString TextCodec::decodeRuns(const QByteArray &bytes) const
{
    Iconv toText(Utf16, m_iconvName.constData());
    QByteArray units;
    QByteArrayView in(bytes);
    while (!in.isEmpty() && !toText.convert(in, units)) {
        // glibc's UHC reports A2 E8 only once past it; decode() then sees that the text does not
        // encode back and takes the slow way.
        if (in.isEmpty())
            break;
        appendUnit(units, char16_t(EscapeBase + uchar(in.front())));
        in = in.sliced(1);
        toText.reset();
    }
    return fromUnits(units);
}

// Slow, but only for files with a sequence that would not be written back as it was: such a
// sequence is kept as escaped bytes instead.
QString TextCodec::decodeOneByOne(const QByteArray &bytes) const
{
    Iconv toText(Utf16, m_iconvName.constData());
    Iconv toBytes(m_iconvName.constData(), Utf16);
    QByteArray units;
    for (qsizetype at = 0; at < bytes.size();) {
        const uchar first = uchar(bytes[at]);
        if (first < 0x80) {
            appendUnit(units, first);
            ++at;
            continue;
        }
        qsizetype length = 0;
        QByteArray character;
        for (qsizetype n = 1; n <= MaxSequence && at + n <= bytes.size(); ++n) {
            const QByteArrayView sequence = QByteArrayView(bytes).sliced(at, n);
            QByteArrayView in = sequence;
            character.clear();
            toText.reset();
            if (!toText.convert(in, character))
                continue;
            QByteArrayView back = character;
            QByteArray written;
            toBytes.reset();
            if (toBytes.convert(back, written) && written == sequence)
                length = n;
            break;
        }
        if (length > 0) {
            units.append(character);
            at += length;
        } else {
            appendUnit(units, char16_t(EscapeBase + first));
            ++at;
        }
    }
    return fromUnits(units);
}

QByteArray TextCodec::encode(const QString &text) const
{
    QByteArray bytes;
    bytes.reserve(text.size());
    std::optional<Iconv> toBytes; // single-byte pages seldom need it
    qsizetype runStart = -1;
    const auto endRun = [&](qsizetype end) {
        if (runStart < 0)
            return;
        if (!toBytes)
            toBytes.emplace(m_iconvName.constData(), Utf16);
        appendConverted(*toBytes, QStringView(text).sliced(runStart, end - runStart), bytes);
        runStart = -1;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        // A pair whose low half looks like an escape is still one character.
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            if (runStart < 0)
                runStart = i;
            ++i;
            continue;
        }
        std::optional<char> byte;
        if (unit < 0x80)
            byte = char(unit);
        else if (isEscape(unit))
            byte = char(unit - EscapeBase);
        else if (const auto hit = m_toBytes.constFind(unit); hit != m_toBytes.cend())
            byte = *hit;
        if (byte) {
            endRun(i);
            bytes.append(*byte);
        } else if (runStart < 0) {
            runStart = i;
        }
    }
    endRun(text.size());
    return bytes;
}
