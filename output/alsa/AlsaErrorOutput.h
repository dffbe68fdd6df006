#pragma once

// ALSA prints its own complaint to standard error for every open or probe that fails, which the
// device list and the device ladder do on purpose many times. Silences that for the whole process,
// unless LARKSPUR_VERBOSE is set to something other than "" or "0". Safe to call more than once.
void QuietAlsaErrorOutput();
