// A shared library that is not the drawer library: loads fine, lacks CashBoxNormalGPIO.
#if defined(_WIN32)
#define OTHER_EXPORT extern "C" __declspec(dllexport)
#else
#define OTHER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

OTHER_EXPORT int SomethingElse(int value)
{
    return value + 1;
}
