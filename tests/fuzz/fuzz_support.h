#pragma once
// What the fuzz harnesses share: a broken property aborts, so that libFuzzer keeps the input,
// and the harnesses with windows start an offscreen QApplication in LLVMFuzzerInitialize
// (which replay_main calls too).

#include <cstdlib>

inline void check(bool condition)
{
    if (!condition)
        std::abort();
}

#ifdef QT_WIDGETS_LIB
#include <QApplication>

inline void startOffscreenApplication(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);  // lives as long as the process
}
#endif
