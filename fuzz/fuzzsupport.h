#pragma once

#include "cfg/cfgrules.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

// What every fuzz target shares. The same target source builds two ways: as a libFuzzer program
// (VEXAL_FUZZ, clang) where the macro below defines LLVMFuzzerTestOneInput, and inside the one
// replay program of the gcc trees (VEXAL_FUZZ_REPLAY) where it registers the target by name, so
// that CTest can run every seed through every target without a clang build.
namespace fuzzSupport {

using Entry = int (*)(const std::uint8_t *data, std::size_t size);

struct Registration {
    Registration(const char *name, Entry entry);
};

// Once per process: the offscreen platform, one QApplication (the editors need one), and a private
// temporary folder set as TMPDIR. After each input that folder must be empty again.
void start(int *argc, char ***argv);
void finishInput(const char *target);

// A broken promise: says which one on standard error and aborts, so libFuzzer keeps the input.
[[noreturn]] void fail(const char *file, int line, const QString &why);

// A file's bytes through the program's own helper; a failure is fatal.
QByteArray readFile(const QString &path);

inline QByteArray bytesOf(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// The input, and the input as a file `name` in a fresh temporary folder that goes with the object.
class InputFile {
public:
    InputFile(const std::uint8_t *data, std::size_t size, const QString &name);
    const QByteArray bytes;
    QString folder() const { return m_dir.path(); }
    QString path() const { return m_path; }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

// A configuration or a graphics list read as its editor reads it: decoded as code page 1252, split,
// the lines `linesOf` keeps put into an editor coloured by `kindOf`. Opened and saved unchanged, the
// text must encode back to the same bytes and the editor give back its lines, each followed by CR
// LF. Returns the kept lines.
QStringList readIntoEditor(
    const QByteArray &bytes, QStringList (*linesOf)(const QStringList &), cfgRules::LineKind (*kindOf)(QStringView));

} // namespace fuzzSupport

#define FUZZ_CHECK(condition, why)                                                                                     \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            ::fuzzSupport::fail(__FILE__, __LINE__, QStringLiteral(#condition ": ") + (why));                          \
    } while (false)

#ifdef VEXAL_FUZZ_REPLAY
#define VEXAL_FUZZ_TARGET(name)                                                                                        \
    static int vexalFuzz_##name(const std::uint8_t *data, std::size_t size);                                           \
    static const ::fuzzSupport::Registration vexalFuzzRegistration_##name(#name, vexalFuzz_##name);                    \
    static int vexalFuzz_##name(const std::uint8_t *data, std::size_t size)
#else
#define VEXAL_FUZZ_TARGET(name)                                                                                        \
    static int vexalFuzz_##name(const std::uint8_t *data, std::size_t size);                                           \
    extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)                                                       \
    {                                                                                                                  \
        ::fuzzSupport::start(argc, argv);                                                                              \
        return 0;                                                                                                      \
    }                                                                                                                  \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)                                  \
    {                                                                                                                  \
        const int result = vexalFuzz_##name(data, size);                                                               \
        ::fuzzSupport::finishInput(#name);                                                                             \
        return result;                                                                                                 \
    }                                                                                                                  \
    static int vexalFuzz_##name(const std::uint8_t *data, std::size_t size)
#endif
