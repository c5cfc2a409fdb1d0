// The installer's waits, made free: linked into UPDSilent_nosleep so that a
// timed update run measures the work and not the fixed pauses between polls.
#include "QoKVXSleep.h"

void QoKVXSleep(int /*seconds*/) {}
