// KMI_ALWAYS_INLINE: for the few small functions that run for every source bar a walk
// takes. The walk loops only stay in registers when every step is inlined into them, and
// compilers left to themselves stop inlining part way down.
#ifndef KMI_HOST_ALWAYS_INLINE_H
#define KMI_HOST_ALWAYS_INLINE_H

#if defined(__GNUC__) || defined(__clang__)
#define KMI_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define KMI_ALWAYS_INLINE inline
#endif

#endif
