#pragma once

#include <QString>

class QFileDevice;

#include <optional>

// The classic Basic run-time error numbers, so that a report means something to whoever reads it.
namespace errorNumber {
inline constexpr int InvalidProcedureCall = 5;
inline constexpr int Overflow = 6;
inline constexpr int TypeMismatch = 13;
inline constexpr int BadFileName = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int DeviceIoError = 57;
inline constexpr int DiskFull = 61;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccessError = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int InvalidPropertyValue = 380;
inline constexpr int UnsupportedValueType = 1001;
} // namespace errorNumber

struct RuntimeError {
    int number = 0;
    QString description;

    // The error with its standard description.
    static RuntimeError of(int number);
    // The error a failed file operation stands for.
    static RuntimeError fromFile(const QFileDevice &file);
    static QString standardDescription(int number);
};

// Shows a composed report to the person (the error dialog) and returns when it is dismissed.
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    virtual void showReport(const QString &reportText) = 0;
};

// Runs a procedure's steps with errors skipped: a step that throws RuntimeError is abandoned, the
// error kept (a later one replaces it) and the next step runs. report() shows what is left, once.
class ErrorTrap {
public:
    explicit ErrorTrap(ErrorReporter *reporter = nullptr)
        : m_reporter(reporter)
    { }

    template <typename Step> void step(Step &&run)
    {
        try {
            run();
        } catch (const RuntimeError &error) {
            m_error = error;
        }
    }

    bool hasError() const { return m_error.has_value(); }
    const std::optional<RuntimeError> &error() const { return m_error; }
    void raise(const RuntimeError &error) { m_error = error; }
    void clear() { m_error.reset(); }
    // Shows the recorded error with the location tag, then clears it. Nothing recorded: nothing shown.
    void report(const QString &locationTag);

    static QString composeReport(const RuntimeError &error, const QString &locationTag);

private:
    ErrorReporter *m_reporter;
    std::optional<RuntimeError> m_error;
};
