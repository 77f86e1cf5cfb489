// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/ready_to_play.h"

#include <QByteArray>

#include <cstdio>

#include "tests/support/private_lan_check.h"
#include "tests/support/pulse_null_output.h"

namespace kinoverd::bench {

bool ReadyToPlay(const char* bench_name)
{
    if (!test::InsidePrivateLan()) {
        std::fprintf(stderr, "%s broadcasts: run it through tools/private-lan.\n", bench_name);
        return false;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!test::PulseNullOutput::Shared().running()) {
        std::fprintf(stderr, "no audio output: %s\n", test::PulseNullOutput::Shared().error().c_str());
        return false;
    }
    return true;
}

}  // namespace kinoverd::bench
