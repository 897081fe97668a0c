#pragma once
// libmosquitto, loaded at its first use instead of linked: the window
// program publishes only when the user asks for it, so it starts without
// libmosquitto and the TLS and name-lookup libraries that come with it.
// <mosquitto.h> gives the types, the constants and the functions' types;
// every call goes through the table resolved here.
//
// The library stays loaded for the life of the process: a connection's
// thread may outlive the object that started it.
#include "base/Status.h"

#include <QByteArray>
#include <mosquitto.h>

// The functions of libmosquitto this program calls (2.0 or later:
// MOSQ_OPT_TLS_USE_OS_CERTS). One list, read for the table's members and
// for their resolution.
#define ZB740_MOSQUITTO_FUNCTIONS(F)                                                                                   \
    F(mosquitto_lib_init)                                                                                              \
    F(mosquitto_new)                                                                                                   \
    F(mosquitto_destroy)                                                                                               \
    F(mosquitto_threaded_set)                                                                                          \
    F(mosquitto_int_option)                                                                                            \
    F(mosquitto_max_inflight_messages_set)                                                                             \
    F(mosquitto_connect_callback_set)                                                                                  \
    F(mosquitto_disconnect_callback_set)                                                                               \
    F(mosquitto_publish_callback_set)                                                                                  \
    F(mosquitto_log_callback_set)                                                                                      \
    F(mosquitto_username_pw_set)                                                                                       \
    F(mosquitto_will_set)                                                                                              \
    F(mosquitto_tls_set)                                                                                               \
    F(mosquitto_connect)                                                                                               \
    F(mosquitto_disconnect)                                                                                            \
    F(mosquitto_loop)                                                                                                  \
    F(mosquitto_loop_forever)                                                                                          \
    F(mosquitto_publish)                                                                                               \
    F(mosquitto_strerror)                                                                                              \
    F(mosquitto_connack_string)

// The functions, each under its own name.
struct MosquittoFunctions {
#define ZB740_MOSQUITTO_MEMBER(name) decltype(&::name) name = nullptr;
    ZB740_MOSQUITTO_FUNCTIONS(ZB740_MOSQUITTO_MEMBER)
#undef ZB740_MOSQUITTO_MEMBER
};

class MosquittoLibrary {
public:
    // The library's file, as the package libmosquitto1 installs it. The
    // environment variable ZB740_LIBMOSQUITTO names another file in its
    // place (the tests: one that does not exist, or a wrapper).
    static constexpr char kFileName[] = "libmosquitto.so.1";

    // Loads fileName (its symbols kept to itself), resolves the functions
    // and runs mosquitto_lib_init. A failure is kept in status(), in one
    // sentence that says what is missing.
    explicit MosquittoLibrary(const QByteArray& fileName);
    MosquittoLibrary(const MosquittoLibrary&) = delete;
    MosquittoLibrary& operator=(const MosquittoLibrary&) = delete;

    const Status& status() const { return m_status; }
    // Every member is set when status() is ok, none otherwise.
    const MosquittoFunctions& functions() const { return m_functions; }

    // The process's library, loaded at the first call, once, whichever
    // thread calls first.
    static const MosquittoLibrary& shared();

private:
    Status m_status;
    MosquittoFunctions m_functions;
};
