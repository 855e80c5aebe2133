#pragma once

#include <QLibrary>
#include <QString>

#include <optional>

// A system library opened when it is first needed rather than when the program starts, so that
// every start does not pay for libraries only some of the work uses (Qt finds OpenSSL the same
// way). Its functions are looked up by name, all at once: one missing makes the library absent.
class SystemLibrary {
public:
    SystemLibrary(const QString &name, int majorVersion)
        : m_library(name, majorVersion)
        , m_complete(m_library.load())
    {
    }

    template <typename Function> void bind(Function *&function, const char *symbol)
    {
        function = m_complete ? reinterpret_cast<Function *>(m_library.resolve(symbol)) : nullptr;
        m_complete = function != nullptr;
    }

    // The library stays loaded after this object goes: the functions bound remain valid.
    bool complete() const { return m_complete; }

    // Whether lib<name>.so.<majorVersion> lies in a folder where the dynamic loader looks for it.
    // Only the file is looked for: loading a library (OpenSSL's above all) costs a start more than
    // the check is worth, and a library that is there but does not load says so at its first use.
    // `loaderConfiguration` is the loader's folder of *.conf files (a test gives its own).
    static bool installed(const QString &name, int majorVersion,
        const QString &loaderConfiguration = QStringLiteral("/etc/ld.so.conf.d"));

    // A library's functions, bound by `bindAll` on the first call and kept for the program's run;
    // null when the library or one of its functions is missing.
    template <typename Functions>
    static const Functions *functions(
        const QString &name, int majorVersion, void (*bindAll)(SystemLibrary &, Functions &))
    {
        static const std::optional<Functions> bound = [&]() -> std::optional<Functions> {
            SystemLibrary library(name, majorVersion);
            Functions functions {};
            bindAll(library, functions);
            return library.complete() ? std::optional(functions) : std::nullopt;
        }();
        return bound ? &*bound : nullptr;
    }

private:
    QLibrary m_library;
    bool m_complete;
};
