#include "report/PrintQueueStatus.h"

#include <QtGlobal>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <dlfcn.h>
#endif

std::optional<QString> PrintQueueStatus::lastFailure()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // Only the copy of the CUPS library Qt's print support already loaded
    // knows about the job: never load one of our own.
    void* cups = dlopen("libcups.so.2", RTLD_LAZY | RTLD_NOLOAD);
    if (!cups)
        return std::nullopt;
    using LastError = int (*)();
    using LastErrorString = const char* (*)();
    const auto lastError = reinterpret_cast<LastError>(dlsym(cups, "cupsLastError"));
    const auto lastErrorString = reinterpret_cast<LastErrorString>(dlsym(cups, "cupsLastErrorString"));
    std::optional<QString> failure;
    // IPP status codes below 0x100 are the successful ones.
    constexpr int kFirstFailure = 0x100;
    if (lastError && lastError() >= kFirstFailure) {
        const char* text = lastErrorString ? lastErrorString() : nullptr;
        failure = text && *text ? QString::fromLocal8Bit(text)
                                : QStringLiteral("error 0x%1").arg(lastError(), 4, 16, QLatin1Char('0'));
    }
    dlclose(cups);
    return failure;
#else
    return std::nullopt;
#endif
}
