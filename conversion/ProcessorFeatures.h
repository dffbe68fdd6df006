#pragma once

// Whether the processor runs 256-bit vector instructions. The transform kernels and the converter
// compile such paths in their own regions and choose them at run time with this one answer.
// Safe to call during static initialisation; the processor is examined once.
bool ProcessorHasAvx();

// Whether the processor also has 256-bit integer vectors and fused multiply-add (examined once).
bool ProcessorHasFma();
