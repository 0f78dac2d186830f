#pragma once
// What the fuzz harnesses share: a broken property aborts, so that libFuzzer keeps the input.

#include <cstdlib>

inline void check(bool condition)
{
    if (!condition)
        std::abort();
}

#ifdef QT_WIDGETS_LIB
#include <QApplication>

// A harness's windows and boxes, made at its first input after an offscreen QApplication.
template <class World>
World& fuzzWorld()
{
    static World* world = [] {
        static int argc = 0;
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, nullptr);
        return new World;
    }();
    return *world;
}
#endif
