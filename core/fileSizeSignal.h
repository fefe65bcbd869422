#pragma once

namespace korvel {

// A write past the process's file-size limit (ulimit -f) raises a signal whose default ends the program, and
// the whole session with it. Ignored, the write fails with EFBIG instead and the save reports it like a full
// disk. Called once at start-up; does nothing where the platform has no such signal.
void letOversizedWritesFail();

} // namespace korvel
