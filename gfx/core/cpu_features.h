// Processor feature checks used to choose between the plain and the wide
// pixel routines.
#ifndef LICHTBOX_GFX_CORE_CPU_FEATURES_H
#define LICHTBOX_GFX_CORE_CPU_FEATURES_H

namespace gfx {

// Asks the processor directly: CPUID leaf 1, EDX bit 23 (MMX). False on a
// processor or build without CPUID.
bool cpu_query_mmx();

// cpu_query_mmx(), asked once per process and kept.
bool cpu_has_mmx();

}  // namespace gfx

#endif
