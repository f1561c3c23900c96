#include "Probe.h"

int ProbeAnswer(void) { return 42; }
