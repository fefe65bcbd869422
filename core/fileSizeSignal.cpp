#include "core/fileSizeSignal.h"

#include <csignal>

namespace korvel {

void letOversizedWritesFail() {
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

} // namespace korvel
