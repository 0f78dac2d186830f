#pragma once
// What the fuzz harnesses share: a broken property aborts, so that libFuzzer keeps the input.
// IOX_FUZZ_WORLD(World) gives a harness with windows its g_world, made once in
// LLVMFuzzerInitialize (which replay_main calls too) after an offscreen QApplication.

#include <cstdlib>

inline void check(bool condition)
{
    if (!condition)
        std::abort();
}

#ifdef QT_WIDGETS_LIB
#include <QApplication>

#define IOX_FUZZ_WORLD(World)                                    \
    World* g_world = nullptr;                                    \
    extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) \
    {                                                            \
        qputenv("QT_QPA_PLATFORM", "offscreen");                 \
        new QApplication(*argc, *argv);                          \
        g_world = new World;                                     \
        return 0;                                                \
    }
#endif
