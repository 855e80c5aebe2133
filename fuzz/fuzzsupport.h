#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

// What every fuzz target shares. A target registers itself by name. Built as a libFuzzer program
// (VEXAL_FUZZ, clang), fuzzsupport.cpp gives libFuzzer the one target linked in; inside the one
// replay program of the gcc trees (VEXAL_FUZZ_REPLAY) it runs the target named on the command line,
// so that CTest can run every seed through every target without a clang build. Either way the
// process has one QApplication (the editors need one) and a private temporary folder as TMPDIR,
// which must be empty again after each input.
namespace fuzzSupport {

using Entry = int (*)(const std::uint8_t *data, std::size_t size);

struct Registration {
    Registration(const char *name, Entry entry);
};

// A broken promise: says which one on standard error and aborts, so libFuzzer keeps the input.
[[noreturn]] void fail(const char *file, int line, const QString &why);

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

} // namespace fuzzSupport

#define FUZZ_CHECK(condition, why)                                                                                     \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            ::fuzzSupport::fail(__FILE__, __LINE__, QStringLiteral(#condition ": ") + (why));                          \
    } while (false)

#define VEXAL_FUZZ_TARGET(name)                                                                                        \
    static int vexalFuzz_##name(const std::uint8_t *data, std::size_t size);                                           \
    static const ::fuzzSupport::Registration vexalFuzzRegistration_##name(#name, vexalFuzz_##name);                    \
    static int vexalFuzz_##name(const std::uint8_t *data, std::size_t size)
