#pragma once

#include <QtGlobal>

#include <cassert>
#include <cstddef>
#include <cstdint>

// A broken promise is a finding like a crash: stop with the condition's
// text, so that libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            __assert_fail(#condition, __FILE__, __LINE__, __func__);                                                   \
    } while (false)

// Qt's own warnings about odd input would flood the fuzzer's output.
inline void silenceQtMessages()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}
