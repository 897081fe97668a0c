#pragma once
// The one way an operation of this program reports that it failed: a status
// with a code for the caller's decisions and a message for the user. It is
// [[nodiscard]]: a failure can be passed on or shown, never dropped by
// accident.
#include <QString>
#include <utility>

class [[nodiscard]] Status {
public:
    enum class Code {
        Ok,
        Cancelled,        // the user chose not to go on; nothing to show
        InvalidFormat,    // not one of this program's files
        Damaged,          // this program's file, but cut short or impossible
        CannotOpen,       // a file or device that cannot be opened
        NotRegularFile,   // a FIFO, device, socket or folder where a plain file belongs
        WriteFailed,      // writing or committing failed (disk full, ...)
        PermissionDenied, // the device or file refuses this user
        NoSuchDevice,     // the device is not there
        Busy,             // another program holds the device
        NotOpen,          // an operation that needs an open port
        BadSetting,       // a setting the port or file cannot take
        Failed,           // any other failure
    };

    Status() = default;
    static Status success() { return {}; }
    static Status failure(Code code, QString message) { return Status(code, std::move(message)); }
    static Status cancelled() { return Status(Code::Cancelled, {}); }

    bool ok() const { return m_code == Code::Ok; }
    bool isCancelled() const { return m_code == Code::Cancelled; }
    Code code() const { return m_code; }
    // For the user: empty when ok or cancelled.
    const QString& message() const { return m_message; }

    // The same failure with a text in front of its message ("Could not save
    // x: " + reason); success and cancel pass through unchanged.
    Status prefixed(const QString& context) const
    {
        if (ok() || isCancelled())
            return *this;
        return Status(m_code, context + m_message);
    }

private:
    Status(Code code, QString message) : m_code(code), m_message(std::move(message)) {}

    Code m_code = Code::Ok;
    QString m_message;
};
