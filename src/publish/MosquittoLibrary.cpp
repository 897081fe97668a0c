#include "publish/MosquittoLibrary.h"

#include <QString>
#include <dlfcn.h>
#include <mutex>

namespace {

QString lastLoaderError()
{
    const char* text = ::dlerror();
    return text != nullptr ? QString::fromLocal8Bit(text) : QStringLiteral("unknown reason");
}

template <class Function>
bool resolve(void* handle, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(::dlsym(handle, name));
    return function != nullptr;
}

} // namespace

MosquittoLibrary::MosquittoLibrary(const QByteArray& fileName)
{
    const QString shown = QString::fromLocal8Bit(fileName);
    // Local: its symbols (and those of the libraries it brings) stay out
    // of the program's global scope.
    void* handle = ::dlopen(fileName.constData(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        m_status = Status::failure(Status::Code::CannotOpen,
                                   QStringLiteral("the MQTT library %1 cannot be loaded (%2); it comes with the "
                                                  "package libmosquitto1")
                                       .arg(shown, lastLoaderError()));
        return;
    }
    MosquittoFunctions functions;
    const char* missing = nullptr;
#define ZB740_MOSQUITTO_RESOLVE(name)                                                                                  \
    if (missing == nullptr && !resolve(handle, #name, functions.name))                                                 \
        missing = #name;
    ZB740_MOSQUITTO_FUNCTIONS(ZB740_MOSQUITTO_RESOLVE)
#undef ZB740_MOSQUITTO_RESOLVE
    if (missing != nullptr) {
        ::dlclose(handle);
        m_status = Status::failure(
            Status::Code::Failed,
            QStringLiteral("the MQTT library %1 has no %2 (libmosquitto 2.0 or later is needed)").arg(shown, missing));
        return;
    }
    if (const int rc = functions.mosquitto_lib_init(); rc != MOSQ_ERR_SUCCESS) {
        m_status = Status::failure(Status::Code::Failed,
                                   QStringLiteral("the MQTT library %1 cannot be set up (%2)")
                                       .arg(shown, QString::fromUtf8(functions.mosquitto_strerror(rc))));
        return;
    }
    // Never closed: a connection's thread may still run in it.
    m_functions = functions;
}

const MosquittoLibrary& MosquittoLibrary::shared()
{
    static std::once_flag once;
    // Never destroyed, like the library: a connection's thread left to end
    // on its own may still call through it while the process exits.
    static const MosquittoLibrary* library = nullptr;
    std::call_once(once, [] {
        const QByteArray chosen = qgetenv("ZB740_LIBMOSQUITTO");
        library = new MosquittoLibrary(chosen.isEmpty() ? QByteArray(kFileName) : chosen);
    });
    return *library;
}
