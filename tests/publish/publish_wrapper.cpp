// Loaded in libmosquitto's place (ZB740_LIBMOSQUITTO) by test_publish_alloc:
// mosquitto_publish is this library's, which tells the test when a call
// begins and ends; every other function is found in libmosquitto, which
// this library depends on, and so is the real mosquitto_publish.
#include <dlfcn.h>
#include <mosquitto.h>

namespace {
void (*g_around)(bool entering) = nullptr;
} // namespace

extern "C" {

// Called around each mosquitto_publish from now on (entering, then not).
void zb740_around_publish(void (*around)(bool entering)) { g_around = around; }

int mosquitto_publish(struct mosquitto* mosq, int* mid, const char* topic, int payloadlen, const void* payload, int qos,
                      bool retain)
{
    using Real = int (*)(struct mosquitto*, int*, const char*, int, const void*, int, bool);
    static const Real real = reinterpret_cast<Real>(
        ::dlsym(::dlopen("libmosquitto.so.1", RTLD_NOW | RTLD_NOLOAD), "mosquitto_publish"));
    if (g_around != nullptr)
        g_around(true);
    const int rc = real(mosq, mid, topic, payloadlen, payload, qos, retain);
    if (g_around != nullptr)
        g_around(false);
    return rc;
}
}
