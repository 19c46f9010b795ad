// The figures of one end-to-end run, as lines for people and as one JSON object per line for
// scripts/bench. Owner's thread.
#pragma once

#include <cstdio>

#include "bench/flash_run.h"

void REPORT_Print(const FlashRunResult& run, double idealRatio);

// One line: {"kind":KIND, ...}, with writeDelayMs, idealRatio and lineRatio (the line alone at
// the run's rate; -1 when not measured alongside).
void REPORT_WriteJson(FILE* out, const FlashRunResult& run, double idealRatio, int writeDelayMs,
                      const char* kind, double lineRatio);
